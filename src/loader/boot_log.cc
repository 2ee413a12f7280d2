// Boot log records and the string helpers every loader step uses.
#include <bsp/boundc.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "loader/command.h"
#include "loader/loader.h"
#include "loader/paths.h"
#include "storage/flavor.h"

namespace {

using namespace bsp::loader;

constexpr int32_t kMessageSize = 256;
constexpr int32_t kRecordSize = 266;

// Formats into the message buffer; a message that does not fit comes out empty.
void record(const char *prefix, bool to_console, const char *format, va_list args) {
  char message[kMessageSize] = {0};
  if (vsprintf_s(message, sizeof message, format, args) < 0) message[0] = '\0';
  char rec[kRecordSize] = {0};
  Boot_StrCpy_Safe(rec, prefix, kRecordSize);
  Boot_StrCat_Safe(rec, message, kRecordSize);
  Boot_WriteTofile(rec);
  if (to_console) fputs(rec, stdout);
}

}  // namespace

namespace bsp::storage::flavor {

// The storage code's messages and traces become boot log records.
void loader_log(LogKind kind, const char *format, va_list args) {
  if (format == nullptr) return;
  if (kind == LogKind::Error)
    record("\r\n Error :", true, format, args);
  else
    record("\r\n Info :", false, format, args);
}

}  // namespace bsp::storage::flavor

extern "C" {

void Boot_Record_Info(const char *format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  record("\r\n Info :", false, format, args);
  va_end(args);
}

void Boot_Record_Error(const char *format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  record("\r\n Error :", true, format, args);
  va_end(args);
}

void Boot_WriteTofile(const char *message) {
  if (message == nullptr) return;
  size_t length = strlen(message);
  char *copy = static_cast<char *>(malloc(length + 1));
  if (copy == nullptr) return;
  memcpy(copy, message, length + 1);

  struct stat st;
  if (stat(kBootLog, &st) == 0 && st.st_size > kBootLogRotateSize) rename(kBootLog, kBootLogBackup);

  FILE *log = fopen(kBootLog, "a+");
  if (log == nullptr) {
    printf("\r\n Error: Open Boot Log File : %s Failed .\r\n", kBootLog);
    free(copy);
    return;
  }
  size_t written = fwrite(copy, 1, length, log);
  // A record the file system refused at close is as lost as a short write.
  if (fclose(log) != 0 || written < length) printf("\r\n Error: Write Log File Failed, Msg : %s.\r\n", copy);
  free(copy);
}

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

void Boot_StopRun(void) { bsp::loader::run_command("reboot"); }

}  // extern "C"
