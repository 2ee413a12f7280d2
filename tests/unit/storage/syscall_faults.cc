#include "syscall_faults.h"

#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace storage_test {
namespace {
int g_fsync_error = 0;
int g_flock_error = 0;
int &slot(Call call) { return call == Call::Fsync ? g_fsync_error : g_flock_error; }
}  // namespace

CallFails::CallFails(Call call, int error) : call_(call) { slot(call) = error; }
CallFails::~CallFails() { slot(call_) = 0; }

}  // namespace storage_test

extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
  if (storage_test::g_fsync_error != 0) {
    errno = storage_test::g_fsync_error;
    return -1;
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" __attribute__((visibility("default"))) int flock(int fd, int operation) {
  if (storage_test::g_flock_error != 0) {
    errno = storage_test::g_flock_error;
    return -1;
  }
  return static_cast<int>(syscall(SYS_flock, fd, operation));
}
