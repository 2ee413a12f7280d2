// Keeps the processes that share the flash emulation file from committing over each other.
// Each process holds its own RAM image; a mutation runs under an exclusive lock on the file
// (held from the refresh to the end of the commit), and the image is first brought up to date
// with what other processes committed, keeping this process's own uncommitted changes.
#pragma once

#include "storage/flash_front.h"

namespace bsp::storage::pieces {

// flock on the flash emulation file: per open file, so the front's own open/close of the file
// does not drop it (a process-wide fcntl lock would be dropped by any close).
class FileLock {
 public:
  enum class Mode { Shared, Exclusive };
  explicit FileLock(Mode mode);
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  bool held() const { return state_ == State::Held; }
  // What a write to flash gives when the lock is not held: the front's message for the file it
  // could not open or lock, and the front's failure result. Nothing is written without the lock.
  uint32_t refusal() const;
  // The locked file, open for reading (-1 when there is none).
  int fd() const { return fd_.get(); }

 private:
  enum class State { NotOpened, NotLocked, Held };
  UniqueFd fd_;  // closing it releases the lock
  State state_ = State::NotOpened;
};

enum class Refresh { Full, Quick };

// Pieces lock and `held` taken; nothing is done when `held` does not hold the lock. Quick skips
// the whole-area compare while the file and the main area header (read straight from the
// locked file) are as last seen.
void refresh_image(Refresh how, const FileLock &held);

// The RAM image now equals what is on flash (after start-up or a commit's main write).
void note_synced();

}  // namespace bsp::storage::pieces
