/* A test double at the system-call boundary for devices this machine lacks, loaded with
   LD_PRELOAD. /dev/watchdog opens as a stand-in descriptor; its ioctls are answered and
   appended to the file named by BSP_DD_LOG: "ioctl <request> <argument>" for a request that
   takes a value, "ioctl <request> *<int read through the pointer>" for one that takes a
   pointer, "ioctl <request> fault <address>" (and EFAULT) for a pointer the kernel could not
   read. BSP_DD_WATCHDOG=fail-enable makes the enable request fail, =absent the open. */
#define _GNU_SOURCE
/* Both open and open64 are interposed by their own names. */
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int g_watchdog_fd = -1;

static void log_line(const char *fmt, ...) {
  const char *path = getenv("BSP_DD_LOG");
  if (path == NULL) return;
  FILE *f = fopen(path, "a");
  if (f == NULL) return;
  va_list ap;
  va_start(ap, fmt);
  vfprintf(f, fmt, ap);
  va_end(ap);
  fclose(f);
}

static int open_double(const char *path, int flags, mode_t mode, int (*real)(const char *, int, ...)) {
  if (path != NULL && strcmp(path, "/dev/watchdog") == 0) {
    const char *mode = getenv("BSP_DD_WATCHDOG");
    if (mode != NULL && strcmp(mode, "absent") == 0) {
      errno = ENOENT;
      return -1;
    }
    g_watchdog_fd = real("/dev/null", O_RDWR);
    log_line("open /dev/watchdog %d\n", flags & O_ACCMODE);
    return g_watchdog_fd;
  }
  return real(path, flags, mode);
}

int open(const char *path, int flags, ...) {
  static int (*real)(const char *, int, ...);
  if (real == NULL) real = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  return open_double(path, flags, mode, real);
}

int open64(const char *path, int flags, ...) {
  static int (*real)(const char *, int, ...);
  if (real == NULL) real = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open64");
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  return open_double(path, flags, mode, real);
}

/* Reads an int from the caller's memory as the kernel's get_user does: an address the
   process cannot read fails with EFAULT instead of crashing the double. The bytes pass
   through a pipe, whose write checks the source address. */
static int read_user_int(const void *addr, int *out) {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return -1;
  int ok = write(p[1], addr, sizeof *out) == (ssize_t)sizeof *out && read(p[0], out, sizeof *out) == (ssize_t)sizeof *out;
  int saved = errno;
  close(p[0]);
  close(p[1]);
  if (ok) return 0;
  errno = saved == EFAULT ? EFAULT : EIO;
  return -1;
}

/* The requests that take a pointer to an int: set options and set timeout. */
static int watchdog_pointer_request(unsigned req, const void *arg) {
  int value;
  if (read_user_int(arg, &value) != 0) {
    int err = errno;
    log_line("ioctl %08x fault %#lx\n", req, (unsigned long)(uintptr_t)arg);
    errno = err;
    return -1;
  }
  log_line("ioctl %08x *%d\n", req, value);
  if (req == 0x80045704u) {
    const char *mode = getenv("BSP_DD_WATCHDOG");
    if (mode != NULL && strcmp(mode, "fail-enable") == 0) {
      errno = EINVAL;
      return -1;
    }
  }
  return 0;
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  if (real == NULL) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  va_list ap;
  va_start(ap, request);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  if (fd >= 0 && fd == g_watchdog_fd) {
    unsigned req = (unsigned)request;
    if (req == 0x80045704u || req == 0xC0045706u) return watchdog_pointer_request(req, arg);
    log_line("ioctl %08x %lu\n", req, (unsigned long)(uintptr_t)arg); /* keep alive: no argument read */
    return 0;
  }
  return real(fd, request, arg);
}
