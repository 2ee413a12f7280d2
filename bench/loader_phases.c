/* Where a boot of the loader spends its time, for bench/loader_update.sh: preloaded into the
   bootloader (LD_PRELOAD), it times the calls the loader makes, passes each on, and at exit
   appends one line to the file named by BSP_PHASES_OUT:
     total=S heads=S decision=S copy=S flushes=S commands=S pause=S rss=KIB
   in seconds, where
     heads     opening and reading the startup package, except the image bytes
     decision  reading the kernel command line and the subareas' .efs files
     copy      moving the image bytes and writing the images and .efs files into a subarea
     flushes   fsync, fdatasync, msync and sync
     commands  the shell commands (system)
     pause     the loader's sleeps
   and total runs from the library's start to the exit; rss is the loader's peak resident
   memory in KiB (its own, without the commands'). Any other program (the shell, the
   commands, a wrapper such as time) runs with the library loaded but untouched: only a
   program named bootloader is timed, and it takes the library out of what it passes on. */
#define _GNU_SOURCE
/* The 64-bit file names are interposed by their own names. */
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

enum phase { kHeads, kDecision, kCopy, kFlushes, kCommands, kPause, kPhases, kUntimed };
static const char *const kNames[kPhases] = {"heads", "decision", "copy", "flushes", "commands", "pause"};

static int g_on;
static double g_start;
static double g_spent[kPhases];
/* What each descriptor refers to, by phase, for the reads and writes on it. */
static unsigned char g_fd_phase[1024];

static double now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static int ends_with(const char *s, const char *end) {
  size_t n = strlen(s), m = strlen(end);
  return n >= m && strcasecmp(s + n - m, end) == 0;
}

/* The phase of the calls on a file, by its path. */
static enum phase path_phase(const char *path) {
  if (path == NULL) return kUntimed;
  if (ends_with(path, ".cc")) return kHeads;
  if (strcmp(path, "/proc/cmdline") == 0) return kDecision;
  if (strncmp(path, "/boot/boot_", 11) == 0) return kDecision; /* reads; a write makes it copy */
  return kUntimed;
}

static int opens_for_writing(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

static void note_fd(int fd, enum phase p) {
  if (fd >= 0 && fd < (int)sizeof g_fd_phase) g_fd_phase[fd] = (unsigned char)p;
}

static enum phase fd_phase(int fd) {
  return fd >= 0 && fd < (int)sizeof g_fd_phase ? (enum phase)g_fd_phase[fd] : kUntimed;
}

static void spend(enum phase p, double since) {
  if (g_on && p < kPhases) g_spent[p] += now() - since;
}

__attribute__((constructor)) static void start(void) {
  memset(g_fd_phase, kUntimed, sizeof g_fd_phase);
  const char *name = program_invocation_short_name;
  if (name == NULL || strcmp(name, "bootloader") != 0) return;
  unsetenv("LD_PRELOAD");
  g_on = 1;
  g_start = now();
}

__attribute__((destructor)) static void finish(void) {
  if (!g_on) return;
  const char *out = getenv("BSP_PHASES_OUT");
  if (out == NULL) return;
  char line[256];
  int n = snprintf(line, sizeof line, "total=%.6f", now() - g_start);
  for (int p = 0; p < kPhases && n > 0 && n < (int)sizeof line; ++p)
    n += snprintf(line + n, sizeof line - (size_t)n, " %s=%.6f", kNames[p], g_spent[p]);
  struct rusage usage;
  long rss = getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
  if (n > 0 && n < (int)sizeof line) n += snprintf(line + n, sizeof line - (size_t)n, " rss=%ld", rss);
  if (n <= 0 || n >= (int)sizeof line - 1) return;
  line[n++] = '\n';
  int fd = REAL("open", int (*)(const char *, int, ...))(out, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t w = REAL("write", ssize_t (*)(int, const void *, size_t))(fd, line, (size_t)n);
  (void)w;
  close(fd);
}

static int has_mode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

static int timed_open(const char *name, int dir, const char *path, int flags, mode_t mode) {
  double t0 = now();
  int fd = dir == -1 ? REAL(name, int (*)(const char *, int, ...))(path, flags, mode)
                     : REAL(name, int (*)(int, const char *, int, ...))(dir, path, flags, mode);
  enum phase p = path_phase(path);
  if (p == kDecision && opens_for_writing(flags) && strncmp(path, "/boot/", 6) == 0) p = kCopy;
  note_fd(fd, p);
  spend(p, t0);
  return fd;
}

#define OPEN_DOUBLE(name)                                           \
  int name(const char *path, int flags, ...) {                      \
    va_list ap;                                                     \
    va_start(ap, flags);                                            \
    mode_t mode = has_mode(flags) ? va_arg(ap, mode_t) : 0;         \
    va_end(ap);                                                     \
    return timed_open(#name, -1, path, flags, mode);                \
  }
OPEN_DOUBLE(open)
OPEN_DOUBLE(open64)

#define OPENAT_DOUBLE(name)                                         \
  int name(int dir, const char *path, int flags, ...) {             \
    va_list ap;                                                     \
    va_start(ap, flags);                                            \
    mode_t mode = has_mode(flags) ? va_arg(ap, mode_t) : 0;         \
    va_end(ap);                                                     \
    return timed_open(#name, dir, path, flags, mode);               \
  }
OPENAT_DOUBLE(openat)
OPENAT_DOUBLE(openat64)

/* A FILE's phase, by its descriptor. */
#define FOPEN_DOUBLE(name)                                                               \
  FILE *name(const char *path, const char *mode) {                                       \
    double t0 = now();                                                                   \
    FILE *f = REAL(#name, FILE * (*)(const char *, const char *))(path, mode);           \
    enum phase p = path_phase(path);                                                     \
    if (p == kDecision && mode != NULL && strpbrk(mode, "wa+") != NULL) p = kCopy;       \
    if (f != NULL) note_fd(fileno(f), p);                                                \
    spend(p, t0);                                                                        \
    return f;                                                                            \
  }
FOPEN_DOUBLE(fopen)
FOPEN_DOUBLE(fopen64)

size_t fwrite(const void *data, size_t size, size_t count, FILE *f) {
  double t0 = now();
  enum phase p = fd_phase(fileno(f));
  size_t n = REAL("fwrite", size_t (*)(const void *, size_t, size_t, FILE *))(data, size, count, f);
  spend(p, t0);
  return n;
}

int fclose(FILE *f) {
  double t0 = now();
  int fd = fileno(f);
  enum phase p = fd_phase(fd);
  note_fd(fd, kUntimed);
  int r = REAL("fclose", int (*)(FILE *))(f);
  spend(p, t0);
  return r;
}

int close(int fd) {
  double t0 = now();
  enum phase p = fd_phase(fd);
  note_fd(fd, kUntimed);
  int r = REAL("close", int (*)(int))(fd);
  spend(p, t0);
  return r;
}

/* Image bytes read through the loader's buffer count as the copy. */
static enum phase read_phase(int fd, size_t n) {
  enum phase p = fd_phase(fd);
  return p == kHeads && n >= 65536 ? kCopy : p;
}

#define PREAD_DOUBLE(name, off_type)                                                             \
  ssize_t name(int fd, void *buf, size_t n, off_type at) {                                       \
    double t0 = now();                                                                           \
    ssize_t r = REAL(#name, ssize_t (*)(int, void *, size_t, off_type))(fd, buf, n, at);         \
    spend(read_phase(fd, n), t0);                                                                \
    return r;                                                                                    \
  }
PREAD_DOUBLE(pread, off_t)
PREAD_DOUBLE(pread64, off64_t)

ssize_t read(int fd, void *buf, size_t n) {
  double t0 = now();
  ssize_t r = REAL("read", ssize_t (*)(int, void *, size_t))(fd, buf, n);
  spend(read_phase(fd, n), t0);
  return r;
}

ssize_t write(int fd, const void *buf, size_t n) {
  double t0 = now();
  ssize_t r = REAL("write", ssize_t (*)(int, const void *, size_t))(fd, buf, n);
  spend(fd_phase(fd), t0);
  return r;
}

ssize_t copy_file_range(int in, off64_t *in_at, int out, off64_t *out_at, size_t length, unsigned int flags) {
  double t0 = now();
  ssize_t r = REAL("copy_file_range", ssize_t (*)(int, off64_t *, int, off64_t *, size_t, unsigned int))(
      in, in_at, out, out_at, length, flags);
  spend(kCopy, t0);
  return r;
}

ssize_t sendfile(int out, int in, off_t *at, size_t count) {
  double t0 = now();
  ssize_t r = REAL("sendfile", ssize_t (*)(int, int, off_t *, size_t))(out, in, at, count);
  spend(kCopy, t0);
  return r;
}

ssize_t sendfile64(int out, int in, off64_t *at, size_t count) {
  double t0 = now();
  ssize_t r = REAL("sendfile64", ssize_t (*)(int, int, off64_t *, size_t))(out, in, at, count);
  spend(kCopy, t0);
  return r;
}

#define FLUSH_DOUBLE(name, args, params, type)   \
  int name params {                              \
    double t0 = now();                           \
    int r = REAL(#name, type) args;              \
    spend(kFlushes, t0);                         \
    return r;                                    \
  }
FLUSH_DOUBLE(fsync, (fd), (int fd), int (*)(int))
FLUSH_DOUBLE(fdatasync, (fd), (int fd), int (*)(int))
FLUSH_DOUBLE(syncfs, (fd), (int fd), int (*)(int))
FLUSH_DOUBLE(msync, (address, length, flags), (void *address, size_t length, int flags), int (*)(void *, size_t, int))

void sync(void) {
  double t0 = now();
  REAL("sync", void (*)(void))();
  spend(kFlushes, t0);
}

int system(const char *command) {
  double t0 = now();
  int r = REAL("system", int (*)(const char *))(command);
  spend(kCommands, t0);
  return r;
}

unsigned int sleep(unsigned int seconds) {
  double t0 = now();
  unsigned int r = REAL("sleep", unsigned int (*)(unsigned int))(seconds);
  spend(kPause, t0);
  return r;
}

int usleep(useconds_t us) {
  double t0 = now();
  int r = REAL("usleep", int (*)(useconds_t))(us);
  spend(kPause, t0);
  return r;
}
