// Makes a read, change and write-back of a piece file one step, against the other threads of
// this process and against other processes: each pieces call alone is serialised, a sequence of
// them is not.
//
// The lock is an open-file-description lock on one byte of the flash emulation file far past
// its end: it meets neither the pieces' own flock on that file nor any range of the flash map,
// and it is released when the holder's descriptor closes, also when the process dies.
// Lock order: this lock, then the pieces lock, then the file lock, then the flash front lock.
#pragma once

#include "os/unique_fd.h"

namespace bsp::storage::pieces {

class RecordLock {
 public:
  // Waits (letting other nPth threads run) until the lock is held. Without a flash emulation
  // file there is nothing to lock, nor anything a pieces call could change.
  RecordLock();
  RecordLock(const RecordLock &) = delete;
  RecordLock &operator=(const RecordLock &) = delete;

 private:
  UniqueFd fd_;  // closing it releases the lock
};

}  // namespace bsp::storage::pieces
