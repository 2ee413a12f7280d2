// Failures of single system calls, injected into the storage code under test: this binary
// defines fsync and flock itself, so the code it links calls these instead of the C library's.
#pragma once

namespace storage_test {

enum class Call { Fsync, Flock };

// While it lives, every call of that kind fails with the given errno.
class CallFails {
 public:
  CallFails(Call call, int error);
  ~CallFails();
  CallFails(const CallFails &) = delete;
  CallFails &operator=(const CallFails &) = delete;

 private:
  Call call_;
};

}  // namespace storage_test
