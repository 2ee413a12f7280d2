// Boot log records, and the reboot request with which a failed boot ends.
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

void Boot_StopRun(void) { bsp::loader::run_command("reboot"); }

}  // extern "C"
