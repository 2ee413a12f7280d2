/* A test double for the order in which files reach the disk, loaded with LD_PRELOAD. It
   passes every call on and appends one line per event to the file named by BSP_FS_LOG:
     open PATH            an open or fopen that may write (create, truncate, write access)
     unlink PATH
     fsync PATH           fsync or fdatasync; PATH is what the descriptor refers to
     rename FROM TO
     system COMMAND
     msync ADDRESS LENGTH FLAGS     (address and length in hex)
   BSP_FS_FAIL_FSYNC=PATH makes the flush of that file fail with EIO, after the event is
   logged as "fsync PATH failed". BSP_FS_NO_KERNEL_COPY=1 makes copy_file_range and sendfile
   fail with ENOSYS, as on a kernel without them. Programs run from the process inherit the
   double. */
#define _GNU_SOURCE
/* The 64-bit file names are interposed by their own names. */
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

/* Raw system calls only: the double must not call what it interposes. */
static void log_event(const char *fmt, ...) {
  const char *path = getenv("BSP_FS_LOG");
  if (path == NULL) return;
  char line[2 * PATH_MAX + 64];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(line, sizeof line - 1, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if ((size_t)n > sizeof line - 2) n = (int)sizeof line - 2;
  line[n++] = '\n';
  int saved = errno;
  int fd = REAL("open", int (*)(const char *, int, ...))(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ssize_t w = write(fd, line, (size_t)n);
    (void)w;
    close(fd);
  }
  errno = saved;
}

static int writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

/* The mode argument is there only with these flags. */
static int has_mode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

#define OPEN_DOUBLE(name)                                                           \
  int name(const char *path, int flags, ...) {                                      \
    va_list ap;                                                                     \
    va_start(ap, flags);                                                            \
    mode_t mode = has_mode(flags) ? va_arg(ap, mode_t) : 0;                         \
    va_end(ap);                                                                     \
    if (writes(flags)) log_event("open %s", path);                                  \
    return REAL(#name, int (*)(const char *, int, ...))(path, flags, mode);         \
  }
OPEN_DOUBLE(open)
OPEN_DOUBLE(open64)

#define OPENAT_DOUBLE(name)                                                         \
  int name(int dir, const char *path, int flags, ...) {                             \
    va_list ap;                                                                     \
    va_start(ap, flags);                                                            \
    mode_t mode = has_mode(flags) ? va_arg(ap, mode_t) : 0;                         \
    va_end(ap);                                                                     \
    if (writes(flags)) log_event("open %s", path);                                  \
    return REAL(#name, int (*)(int, const char *, int, ...))(dir, path, flags, mode); \
  }
OPENAT_DOUBLE(openat)
OPENAT_DOUBLE(openat64)

#define FOPEN_DOUBLE(name)                                                          \
  FILE *name(const char *path, const char *mode) {                                  \
    if (mode != NULL && strpbrk(mode, "wa+") != NULL) log_event("open %s", path);   \
    return REAL(#name, FILE * (*)(const char *, const char *))(path, mode);         \
  }
FOPEN_DOUBLE(fopen)
FOPEN_DOUBLE(fopen64)

int unlink(const char *path) {
  log_event("unlink %s", path);
  return REAL("unlink", int (*)(const char *))(path);
}

int unlinkat(int dir, const char *path, int flags) {
  log_event("unlink %s", path);
  return REAL("unlinkat", int (*)(int, const char *, int))(dir, path, flags);
}

static int flush(const char *name, int fd) {
  char link[64], target[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, target, sizeof target - 1);
  target[n < 0 ? 0 : n] = '\0';
  const char *fail = getenv("BSP_FS_FAIL_FSYNC");
  if (fail != NULL && strcmp(fail, target) == 0) {
    log_event("fsync %s failed", target);
    errno = EIO;
    return -1;
  }
  log_event("fsync %s", target);
  return REAL(name, int (*)(int))(fd);
}

int fsync(int fd) { return flush("fsync", fd); }
int fdatasync(int fd) { return flush("fdatasync", fd); }

int rename(const char *from, const char *to) {
  log_event("rename %s %s", from, to);
  return REAL("rename", int (*)(const char *, const char *))(from, to);
}

int renameat(int fromdir, const char *from, int todir, const char *to) {
  log_event("rename %s %s", from, to);
  return REAL("renameat", int (*)(int, const char *, int, const char *))(fromdir, from, todir, to);
}

int renameat2(int fromdir, const char *from, int todir, const char *to, unsigned int flags) {
  log_event("rename %s %s", from, to);
  return REAL("renameat2", int (*)(int, const char *, int, const char *, unsigned int))(fromdir, from, todir, to,
                                                                                         flags);
}

int system(const char *command) {
  log_event("system %s", command != NULL ? command : "");
  return REAL("system", int (*)(const char *))(command);
}

int msync(void *address, size_t length, int flags) {
  log_event("msync %jx %zx %d", (uintmax_t)(uintptr_t)address, length, flags);
  return REAL("msync", int (*)(void *, size_t, int))(address, length, flags);
}

static int kernel_copy_refused(void) {
  const char *no = getenv("BSP_FS_NO_KERNEL_COPY");
  if (no == NULL || strcmp(no, "1") != 0) return 0;
  errno = ENOSYS;
  return 1;
}

ssize_t copy_file_range(int in, off64_t *in_at, int out, off64_t *out_at, size_t length, unsigned int flags) {
  if (kernel_copy_refused()) return -1;
  return REAL("copy_file_range", ssize_t (*)(int, off64_t *, int, off64_t *, size_t, unsigned int))(
      in, in_at, out, out_at, length, flags);
}

ssize_t sendfile(int out, int in, off_t *at, size_t count) {
  if (kernel_copy_refused()) return -1;
  return REAL("sendfile", ssize_t (*)(int, int, off_t *, size_t))(out, in, at, count);
}

ssize_t sendfile64(int out, int in, off64_t *at, size_t count) {
  if (kernel_copy_refused()) return -1;
  return REAL("sendfile64", ssize_t (*)(int, int, off64_t *, size_t))(out, in, at, count);
}
