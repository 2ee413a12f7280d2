// The bounded string routines every loader step builds its paths and records with, and the
// size of a file as the loader asks for it.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "loader/loader.h"

extern "C" {

void Boot_StrCpy_Safe(char *dest, const char *src, int32_t destSize) {
  if (dest == nullptr || src == nullptr || destSize <= 0) return;
  size_t length = strlen(src);
  if (length + 1 <= static_cast<size_t>(destSize)) {
    memcpy(dest, src, length + 1);
    return;
  }
  printf("\r\n Warnning: SrcStr is Too Long , Will Be Cut.");
  memcpy(dest, src, static_cast<size_t>(destSize) - 1);
  dest[destSize - 1] = '\0';
}

void Boot_StrCat_Safe(char *dest, const char *src, int32_t destSize) {
  if (dest == nullptr || src == nullptr) return;
  // Never look past the destination for its terminator.
  size_t used = destSize > 0 ? strnlen(dest, static_cast<size_t>(destSize)) : 0;
  int64_t room = static_cast<int64_t>(destSize) - static_cast<int64_t>(used) - 1;
  int64_t need = static_cast<int64_t>(strlen(src)) + 1;
  if (destSize <= 0 || used >= static_cast<size_t>(destSize) || need > room) {
    printf("\r\n Error: Src is Too Long ,StrCat Failed!");
    return;
  }
  memcpy(dest + used, src, static_cast<size_t>(need));
}

int32_t Boot_GetFileSize(const char *path) {
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0) return -1;
  return st.st_size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(st.st_size);
}

}  // extern "C"
