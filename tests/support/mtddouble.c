/* A test double at the system-call boundary for raw flash, loaded with LD_PRELOAD: it serves
   the MTD, UBI and platform flash files from the directory named by BSP_MTDD_DIR and passes
   everything else through.

     /proc/mtd                                     DIR/proc_mtd
     /proc/flash/flash_err                         DIR/flash_err
     /sys/module/norflash_adp/parameters/boot_pos  DIR/boot_pos
     /dev/mtdN and /dev/mtdblockN                  DIR/mtdN (the partition's bytes)
     /dev/ubiX_Y                                   DIR/ubiX_Y (the volume's bytes)

   A missing file is a missing device. The erase size of mtdN comes from DIR/proc_mtd.
   DIR/bad is the bad-block map, lines "mtdN 0xOFFSET" (MEMSETBADBLOCK appends to it).
   DIR/faults injects failures, lines "OP DEVICE [0xOFFSET]":
     open   DEVICE (mtdN, mtdblockN, ubiX_Y): the open fails with EACCES
     read, write, erase  mtdN|ubiX_Y [block]: EIO on that block (on any, without an offset)
     lose   mtdN block: writes into the block report success and store nothing
     getbad, setbad  mtdN [block]: MEMGETBADBLOCK / MEMSETBADBLOCK fail with EIO
     volup  ubiX_Y: UBI_IOCVOLUP fails with EIO
   The requests behave as the kernel's: arguments are read through the pointer where Linux
   takes one (a bad pointer gives EFAULT); MEMERASE fills 0xFF, refuses ranges that are not
   whole blocks of the device and read-only descriptors, and fails on a bad block; a write
   into a bad block fails with EIO; the character device programs bits (old AND new), the
   block device stores what it is given; UBI_IOCVOLUP empties the volume and takes the
   following writes, up to the announced size, during which reads are refused.
   Every operation on these files is appended to DIR/log as one line
     "OP PATH [ARGS] -> RESULT lock=held|free|unknown"
   where lock tells whether the front lock (see mtdd_watch_front_lock) was held. */
#define _GNU_SOURCE
/* open and open64 (and the other large-file pairs) are interposed by their own names. */
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <mtd/mtd-user.h>
#include <mtd/ubi-user.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

/* ---- the real calls ---- */

#define REAL(name, type)                                 \
  static type real_##name(void) {                        \
    static type fn;                                      \
    if (fn == NULL) fn = (type)dlsym(RTLD_NEXT, #name);  \
    return fn;                                           \
  }
typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);
typedef ssize_t (*read_fn)(int, void *, size_t);
typedef ssize_t (*write_fn)(int, const void *, size_t);
typedef ssize_t (*pread_fn)(int, void *, size_t, off_t);
typedef ssize_t (*pwrite_fn)(int, const void *, size_t, off_t);
typedef ssize_t (*pread64_fn)(int, void *, size_t, off64_t);
typedef ssize_t (*pwrite64_fn)(int, const void *, size_t, off64_t);
typedef off_t (*lseek_fn)(int, off_t, int);
typedef off64_t (*lseek64_fn)(int, off64_t, int);
typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*close_fn)(int);
typedef FILE *(*fopen_fn)(const char *, const char *);
typedef int (*access_fn)(const char *, int);
typedef int (*mutex_init_fn)(pthread_mutex_t *, const pthread_mutexattr_t *);
REAL(open, open_fn)
REAL(open64, open_fn)
REAL(openat, openat_fn)
REAL(openat64, openat_fn)
REAL(read, read_fn)
REAL(write, write_fn)
REAL(pread, pread_fn)
REAL(pwrite, pwrite_fn)
REAL(pread64, pread64_fn)
REAL(pwrite64, pwrite64_fn)
REAL(lseek, lseek_fn)
REAL(lseek64, lseek64_fn)
REAL(ioctl, ioctl_fn)
REAL(close, close_fn)
REAL(fopen, fopen_fn)
REAL(fopen64, fopen_fn)
REAL(access, access_fn)
REAL(pthread_mutex_init, mutex_init_fn)

/* ---- the front lock ---- */

static int g_watching;
static pthread_mutex_t *g_front_lock;

/* While watching, the first mutex the process makes is taken as the front lock. The test
   watches around the first FLASH_InitFlashDrv of the process, which makes that lock. */
EXPORT void mtdd_watch_front_lock(int on) { g_watching = on; }
EXPORT void *mtdd_front_lock(void) { return g_front_lock; }

int pthread_mutex_init(pthread_mutex_t *mutex, const pthread_mutexattr_t *attr) {
  int rc = real_pthread_mutex_init()(mutex, attr);
  if (rc == 0 && g_watching && g_front_lock == NULL) g_front_lock = mutex;
  return rc;
}

static const char *lock_state(void) {
  if (g_front_lock == NULL) return "unknown";
  if (pthread_mutex_trylock(g_front_lock) != 0) return "held";
  pthread_mutex_unlock(g_front_lock);
  return "free";
}

/* ---- the served files ---- */

enum kind { K_NONE, K_PLAIN, K_CHAR, K_BLOCK, K_UBI };

struct node {
  enum kind kind;
  char path[64];    /* as opened, for the log */
  char device[32];  /* mtdN, mtdblockN, ubiX_Y: what "open" faults name */
  char part[32];    /* mtdN or ubiX_Y: what the other faults and the bad map name */
  char backing[PATH_MAX];
};

static const char *dir(void) {
  const char *d = getenv("BSP_MTDD_DIR");
  return d != NULL && d[0] != '\0' ? d : NULL;
}

static int all_digits(const char *s) {
  if (*s == '\0') return 0;
  for (; *s != '\0'; ++s)
    if (*s < '0' || *s > '9') return 0;
  return 1;
}

static int ubi_name(const char *s) {
  const char *bar = strchr(s, '_');
  if (bar == NULL || bar == s) return 0;
  char left[32];
  size_t n = (size_t)(bar - s);
  if (n >= sizeof left) return 0;
  memcpy(left, s, n);
  left[n] = '\0';
  return all_digits(left) && all_digits(bar + 1);
}

static enum kind classify(const char *path, struct node *out) {
  const char *d = dir();
  memset(out, 0, sizeof *out);
  if (d == NULL || path == NULL || strlen(path) >= sizeof out->path) return K_NONE;
  const char *file = NULL;
  if (strcmp(path, "/proc/mtd") == 0) {
    out->kind = K_PLAIN, file = "proc_mtd";
  } else if (strcmp(path, "/proc/flash/flash_err") == 0) {
    out->kind = K_PLAIN, file = "flash_err";
  } else if (strcmp(path, "/sys/module/norflash_adp/parameters/boot_pos") == 0) {
    out->kind = K_PLAIN, file = "boot_pos";
  } else if (strncmp(path, "/dev/mtdblock", 13) == 0 && all_digits(path + 13)) {
    out->kind = K_BLOCK;
    snprintf(out->part, sizeof out->part, "mtd%s", path + 13);
  } else if (strncmp(path, "/dev/mtd", 8) == 0 && all_digits(path + 8)) {
    out->kind = K_CHAR;
    snprintf(out->part, sizeof out->part, "%s", path + 5);
  } else if (strncmp(path, "/dev/ubi", 8) == 0 && ubi_name(path + 8)) {
    out->kind = K_UBI;
    snprintf(out->part, sizeof out->part, "%s", path + 5);
  } else {
    return K_NONE;
  }
  snprintf(out->path, sizeof out->path, "%s", path);
  if (out->kind == K_PLAIN) {
    snprintf(out->device, sizeof out->device, "%s", file);
    snprintf(out->backing, sizeof out->backing, "%s/%s", d, file);
  } else {
    snprintf(out->device, sizeof out->device, "%s", path + 5);
    snprintf(out->backing, sizeof out->backing, "%s/%s", d, out->part);
  }
  return out->kind;
}

/* ---- the operation log ---- */

static void log_line(const char *fmt, ...) {
  const char *d = dir();
  if (d == NULL) return;
  char path[PATH_MAX], line[512];
  snprintf(path, sizeof path, "%s/log", d);
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(line, sizeof line - 1, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if ((size_t)n > sizeof line - 2) n = (int)(sizeof line - 2);
  line[n++] = '\n';
  int saved = errno;
  int fd = real_open()(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) {
    real_write()(fd, line, (size_t)n);
    real_close()(fd);
  }
  errno = saved;
}

static const char *err_name(int e) {
  switch (e) {
    case EIO: return "EIO";
    case EINVAL: return "EINVAL";
    case EPERM: return "EPERM";
    case EROFS: return "EROFS";
    case EBADF: return "EBADF";
    case ENOSPC: return "ENOSPC";
    case ENOENT: return "ENOENT";
    case EACCES: return "EACCES";
    case EBUSY: return "EBUSY";
    case ENOTTY: return "ENOTTY";
    case EFAULT: return "EFAULT";
    case EOPNOTSUPP: return "EOPNOTSUPP";
    case EOVERFLOW: return "EOVERFLOW";
    default: return "E?";
  }
}

/* "0x1f" for a count, the error's name for a failure. */
static const char *outcome(long long rc, char *buf, size_t size) {
  if (rc < 0) return err_name(errno);
  snprintf(buf, size, "0x%llx", rc);
  return buf;
}

/* ---- fixture files: erase sizes, the bad-block map, the faults ---- */

static FILE *open_fixture(const char *name) {
  const char *d = dir();
  if (d == NULL) return NULL;
  char path[PATH_MAX];
  snprintf(path, sizeof path, "%s/%s", d, name);
  int saved = errno;  /* a missing fixture is no failure of the call being served */
  FILE *f = real_fopen()(path, "r");
  errno = saved;
  return f;
}

static uint32_t erase_size_of(const char *part) {
  FILE *f = open_fixture("proc_mtd");
  if (f == NULL) return 0;
  char line[256], name[64];
  unsigned long long size;
  unsigned erase, found = 0;
  while (fgets(line, sizeof line, f) != NULL) {
    if (sscanf(line, "%63[^:]: %llx %x", name, &size, &erase) == 3 && strcmp(name, part) == 0) found = erase;
  }
  fclose(f);
  return found;
}

static uint64_t block_of(uint64_t offset, uint32_t erase) { return erase != 0 ? offset - offset % erase : offset; }

/* Does a line "OP DEVICE [0xOFFSET]" of the faults match, for a range [lo, hi) of the device? */
static int fault(const char *op, const char *device, uint64_t lo, uint64_t hi, uint32_t erase) {
  FILE *f = open_fixture("faults");
  if (f == NULL) return 0;
  char line[256], o[32], d[64];
  unsigned long long at;
  int hit = 0;
  while (!hit && fgets(line, sizeof line, f) != NULL) {
    int n = sscanf(line, "%31s %63s %llx", o, d, &at);
    if (n < 2 || strcmp(o, op) != 0 || strcmp(d, device) != 0) continue;
    if (n == 2) {
      hit = 1;
    } else {
      uint64_t start = block_of(at, erase), end = start + (erase != 0 ? erase : 1);
      hit = start < hi && lo < end;
    }
  }
  fclose(f);
  return hit;
}

static int is_bad(const char *part, uint64_t offset, uint32_t erase) {
  FILE *f = open_fixture("bad");
  if (f == NULL) return 0;
  char line[256], d[64];
  unsigned long long at;
  int bad = 0;
  while (!bad && fgets(line, sizeof line, f) != NULL) {
    if (sscanf(line, "%63s %llx", d, &at) == 2 && strcmp(d, part) == 0)
      bad = block_of(at, erase) == block_of(offset, erase);
  }
  fclose(f);
  return bad;
}

static int any_bad(const char *part, uint64_t lo, uint64_t hi, uint32_t erase) {
  for (uint64_t b = block_of(lo, erase); b < hi; b += erase != 0 ? erase : 1)
    if (is_bad(part, b, erase)) return 1;
  return 0;
}

static void mark_bad(const char *part, uint64_t offset, uint32_t erase) {
  const char *d = dir();
  char path[PATH_MAX], line[96];
  snprintf(path, sizeof path, "%s/bad", d);
  int n = snprintf(line, sizeof line, "%s 0x%llx\n", part, (unsigned long long)block_of(offset, erase));
  int fd = real_open()(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) {
    real_write()(fd, line, (size_t)n);
    real_close()(fd);
  }
}

/* ---- open descriptors of served devices ---- */

#define MAX_FDS 1024
struct open_dev {
  int used;
  struct node node;
  int writable;
  uint32_t erase;
  int updating;            /* a UBI volume update is taking data */
  long long update_left;   /* bytes it still takes */
  long long update_done;   /* bytes it has taken */
};
static struct open_dev g_fds[MAX_FDS];

static struct open_dev *served(int fd) {
  if (fd < 0 || fd >= MAX_FDS || !g_fds[fd].used) return NULL;
  return &g_fds[fd];
}

static long long size_of(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? (long long)st.st_size : 0;
}

static int do_open(const char *path, int flags, mode_t mode, int (*real)(const char *, int, ...)) {
  struct node n;
  enum kind kind = classify(path, &n);
  if (kind == K_NONE) return real(path, flags, mode);
  const char *access_mode = (flags & O_ACCMODE) == O_RDONLY ? "ro" : "rw";
  int fd;
  if (kind == K_PLAIN) {
    fd = real(n.backing, flags & ~(O_CREAT | O_TRUNC), 0);
    log_line("open %s %s -> %s lock=%s", n.path, access_mode, fd < 0 ? err_name(errno) : "ok", lock_state());
    return fd;
  }
  if (fault("open", n.device, 0, 1, 0)) {
    errno = EACCES;
    fd = -1;
  } else {
    fd = real(n.backing, (flags & O_ACCMODE) | O_CLOEXEC, 0);
  }
  if (fd >= MAX_FDS) {
    real_close()(fd);
    errno = EMFILE;
    fd = -1;
  }
  if (fd >= 0) {
    struct open_dev *d = &g_fds[fd];
    memset(d, 0, sizeof *d);
    d->used = 1;
    d->node = n;
    d->writable = (flags & O_ACCMODE) != O_RDONLY;
    d->erase = kind == K_UBI ? 0 : erase_size_of(n.part);
  }
  log_line("open %s %s -> %s lock=%s", n.path, access_mode, fd < 0 ? err_name(errno) : "ok", lock_state());
  return fd;
}

static ssize_t dev_read(int fd, struct open_dev *d, void *buf, size_t count, long long pos, int advance) {
  ssize_t rc;
  long long size = size_of(fd);
  if (d->node.kind == K_UBI && d->updating) {
    errno = EBUSY;
    rc = -1;
  } else if (pos >= size) {
    rc = 0;
  } else {
    if ((long long)count > size - pos) count = (size_t)(size - pos);
    if (fault("read", d->node.part, (uint64_t)pos, (uint64_t)pos + count, d->erase)) {
      errno = EIO;
      rc = -1;
    } else {
      rc = real_pread64()(fd, buf, count, pos);
      if (rc > 0 && advance) real_lseek64()(fd, pos + rc, SEEK_SET);
    }
  }
  char out[32];
  log_line("read %s 0x%llx 0x%zx -> %s lock=%s", d->node.path, pos, count, outcome(rc, out, sizeof out), lock_state());
  return rc;
}

/* Stores count bytes at pos the way the device takes them. */
static ssize_t mtd_store(int fd, struct open_dev *d, const unsigned char *data, size_t count, long long pos) {
  unsigned char *image = malloc(count);
  if (image == NULL) {
    errno = ENOMEM;
    return -1;
  }
  if (real_pread64()(fd, image, count, pos) != (ssize_t)count) {
    free(image);
    errno = EIO;
    return -1;
  }
  uint32_t step = d->erase != 0 ? d->erase : (uint32_t)count;
  for (size_t i = 0; i < count;) {
    uint64_t at = (uint64_t)pos + i;
    size_t run = (size_t)(block_of(at, d->erase) + step - at);
    if (run > count - i) run = count - i;
    if (!fault("lose", d->node.part, at, at + run, d->erase)) {
      for (size_t k = i; k < i + run; ++k) image[k] = d->node.kind == K_CHAR ? (unsigned char)(image[k] & data[k]) : data[k];
    }
    i += run;
  }
  ssize_t rc = real_pwrite64()(fd, image, count, pos);
  free(image);
  return rc;
}

static ssize_t dev_write(int fd, struct open_dev *d, const void *buf, size_t count, long long pos, int advance) {
  ssize_t rc;
  long long size = size_of(fd);
  if (!d->writable) {
    errno = EBADF;
    rc = -1;
  } else if (d->node.kind == K_UBI && d->updating) {
    if ((long long)count > d->update_left) count = (size_t)d->update_left;
    if (fault("write", d->node.part, 0, 1, 0)) {
      errno = EIO;
      rc = -1;
    } else {
      rc = real_pwrite64()(fd, buf, count, d->update_done);
      if (rc > 0) {
        d->update_done += rc;
        d->update_left -= rc;
        if (d->update_left == 0) d->updating = 0;
      }
    }
  } else if (count > 0 && pos >= size) {
    errno = ENOSPC;
    rc = -1;
  } else {
    if ((long long)count > size - pos) count = (size_t)(size - pos);
    if (fault("write", d->node.part, (uint64_t)pos, (uint64_t)pos + count, d->erase) ||
        (d->node.kind != K_UBI && any_bad(d->node.part, (uint64_t)pos, (uint64_t)pos + count, d->erase))) {
      errno = EIO;
      rc = -1;
    } else if (d->node.kind == K_UBI) {
      rc = real_pwrite64()(fd, buf, count, pos);
    } else {
      rc = mtd_store(fd, d, buf, count, pos);
    }
    if (rc > 0 && advance) real_lseek64()(fd, pos + rc, SEEK_SET);
  }
  char out[32];
  log_line("write %s 0x%llx 0x%zx -> %s lock=%s", d->node.path, pos, count, outcome(rc, out, sizeof out),
           lock_state());
  return rc;
}

static long long dev_lseek(int fd, struct open_dev *d, long long offset, int whence) {
  long long size = size_of(fd), cur = real_lseek64()(fd, 0, SEEK_CUR), target, rc;
  if (whence == SEEK_SET) {
    target = offset;
  } else if (whence == SEEK_CUR) {
    target = cur + offset;
  } else if (whence == SEEK_END) {
    target = size + offset;
  } else {
    target = -1;
  }
  /* The devices have a fixed size: no position before the start or beyond the end. */
  if (target < 0 || target > size) {
    errno = EINVAL;
    rc = -1;
  } else {
    rc = real_lseek64()(fd, target, SEEK_SET);
  }
  char out[32];
  log_line("lseek %s 0x%llx %d -> %s lock=%s", d->node.path, offset, whence, outcome(rc, out, sizeof out), lock_state());
  return rc;
}

/* Copies an ioctl argument in as the kernel does: EFAULT for an address that is not readable. */
static int copy_from_user(void *to, unsigned long from, size_t len) {
  static int pipe_fds[2] = {-1, -1};
  if (pipe_fds[0] < 0 && pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  if (real_write()(pipe_fds[1], (const void *)(uintptr_t)from, len) != (ssize_t)len) {
    errno = EFAULT;
    return -1;
  }
  return real_read()(pipe_fds[0], to, len) == (ssize_t)len ? 0 : -1;
}

static int mtd_ioctl(int fd, struct open_dev *d, unsigned long request, unsigned long arg, char *what, size_t size) {
  long long dev_size = size_of(fd);
  const uint32_t erase = d->erase;
  if (d->node.kind != K_CHAR) {
    snprintf(what, size, "0x%lx", request);
    errno = ENOTTY;
    return -1;
  }
  if (request == MEMGETBADBLOCK || request == MEMSETBADBLOCK) {
    const int set = request == MEMSETBADBLOCK;
    long long offset = 0;
    snprintf(what, size, "%s", set ? "setbad" : "getbad");
    if (copy_from_user(&offset, arg, sizeof offset) != 0) return -1;
    snprintf(what, size, "%s 0x%llx", set ? "setbad" : "getbad", offset);
    if (set && !d->writable) {
      errno = EPERM;
      return -1;
    }
    if (offset < 0 || offset >= dev_size) {
      errno = EINVAL;
      return -1;
    }
    if (fault(set ? "setbad" : "getbad", d->node.part, (uint64_t)offset, (uint64_t)offset + 1, erase)) {
      errno = EIO;
      return -1;
    }
    if (!set) return is_bad(d->node.part, (uint64_t)offset, erase);
    mark_bad(d->node.part, (uint64_t)offset, erase);
    return 0;
  }
  if (request == MEMERASE) {
    struct erase_info_user range;
    snprintf(what, size, "erase");
    if (copy_from_user(&range, arg, sizeof range) != 0) return -1;
    snprintf(what, size, "erase 0x%x 0x%x", range.start, range.length);
    if (!d->writable) {
      errno = EPERM;
      return -1;
    }
    if (erase == 0) {
      errno = EOPNOTSUPP;
      return -1;
    }
    if (range.start >= dev_size || range.length > dev_size - range.start) {
      errno = EINVAL;
      return -1;
    }
    if (range.length == 0) return 0;
    if (range.start % erase != 0 || range.length % erase != 0) {
      errno = EINVAL;
      return -1;
    }
    unsigned char *ones = malloc(erase);
    if (ones == NULL) {
      errno = ENOMEM;
      return -1;
    }
    memset(ones, 0xFF, erase);
    int rc = 0;
    for (uint64_t b = range.start; b < (uint64_t)range.start + range.length; b += erase) {
      if (is_bad(d->node.part, b, erase) || fault("erase", d->node.part, b, b + erase, erase)) {
        errno = EIO;
        rc = -1;
        break;
      }
      real_pwrite64()(fd, ones, erase, (off64_t)b);
    }
    free(ones);
    return rc;
  }
  if (request == MTDFILEMODE) {
    /* The mode is the argument itself: 0 to 3 are Linux's, 4 and 5 the board's own. */
    snprintf(what, size, "filemode %lu", arg);
    if (arg > 5) {
      errno = EINVAL;
      return -1;
    }
    return 0;
  }
  snprintf(what, size, "0x%lx", request);
  errno = ENOTTY;
  return -1;
}

static int ubi_ioctl(int fd, struct open_dev *d, unsigned long request, unsigned long arg, char *what, size_t size) {
  if (d->node.kind != K_UBI || request != UBI_IOCVOLUP) {
    snprintf(what, size, "0x%lx", request);
    errno = ENOTTY;
    return -1;
  }
  long long bytes = 0;
  snprintf(what, size, "volup");
  if (copy_from_user(&bytes, arg, sizeof bytes) != 0) return -1;
  snprintf(what, size, "volup 0x%llx", bytes);
  if (!d->writable) {
    errno = EROFS;
    return -1;
  }
  if (bytes < 0) {
    errno = EINVAL;
    return -1;
  }
  if (fault("volup", d->node.part, 0, 1, 0)) {
    errno = EIO;
    return -1;
  }
  if (ftruncate(fd, 0) != 0) return -1;
  d->updating = bytes > 0;
  d->update_left = bytes;
  d->update_done = 0;
  return 0;
}

/* ---- the interposed calls ---- */

static mode_t mode_arg(int flags, va_list ap) { return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0; }

EXPORT int open(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  return do_open(path, flags, mode, real_open());
}

EXPORT int open64(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  return do_open(path, flags, mode, real_open64());
}

static int do_openat(int dirfd, const char *path, int flags, mode_t mode, openat_fn real, open_fn real_plain) {
  struct node n;
  if ((dirfd == AT_FDCWD || (path != NULL && path[0] == '/')) && classify(path, &n) != K_NONE)
    return do_open(path, flags, mode, real_plain);
  return real(dirfd, path, flags, mode);
}

EXPORT int openat(int dirfd, const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  return do_openat(dirfd, path, flags, mode, real_openat(), real_open());
}

EXPORT int openat64(int dirfd, const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  return do_openat(dirfd, path, flags, mode, real_openat64(), real_open64());
}

EXPORT ssize_t read(int fd, void *buf, size_t count) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_read()(fd, buf, count);
  return dev_read(fd, d, buf, count, real_lseek64()(fd, 0, SEEK_CUR), 1);
}

EXPORT ssize_t write(int fd, const void *buf, size_t count) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_write()(fd, buf, count);
  return dev_write(fd, d, buf, count, real_lseek64()(fd, 0, SEEK_CUR), 1);
}

EXPORT ssize_t pread(int fd, void *buf, size_t count, off_t offset) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_pread()(fd, buf, count, offset);
  return dev_read(fd, d, buf, count, offset, 0);
}

EXPORT ssize_t pwrite(int fd, const void *buf, size_t count, off_t offset) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_pwrite()(fd, buf, count, offset);
  return dev_write(fd, d, buf, count, offset, 0);
}

EXPORT ssize_t pread64(int fd, void *buf, size_t count, off64_t offset) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_pread64()(fd, buf, count, offset);
  return dev_read(fd, d, buf, count, offset, 0);
}

EXPORT ssize_t pwrite64(int fd, const void *buf, size_t count, off64_t offset) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_pwrite64()(fd, buf, count, offset);
  return dev_write(fd, d, buf, count, offset, 0);
}

EXPORT off_t lseek(int fd, off_t offset, int whence) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_lseek()(fd, offset, whence);
  long long rc = dev_lseek(fd, d, offset, whence);
  if (rc > (long long)(((uint64_t)1 << (sizeof(off_t) * 8 - 1)) - 1)) {
    errno = EOVERFLOW;
    return -1;
  }
  return (off_t)rc;
}

EXPORT off64_t lseek64(int fd, off64_t offset, int whence) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_lseek64()(fd, offset, whence);
  return dev_lseek(fd, d, offset, whence);
}

EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  unsigned long arg = va_arg(ap, unsigned long);
  va_end(ap);
  struct open_dev *d = served(fd);
  if (d == NULL) return real_ioctl()(fd, request, arg);
  char what[96] = "";
  int rc = d->node.kind == K_UBI ? ubi_ioctl(fd, d, request, arg, what, sizeof what)
                                  : mtd_ioctl(fd, d, request, arg, what, sizeof what);
  char out[32];
  if (rc < 0) {
    snprintf(out, sizeof out, "%s", err_name(errno));
  } else {
    snprintf(out, sizeof out, "%d", rc);
  }
  log_line("ioctl %s %s -> %s lock=%s", d->node.path, what, out, lock_state());
  return rc;
}

EXPORT int close(int fd) {
  struct open_dev *d = served(fd);
  if (d == NULL) return real_close()(fd);
  char path[64];
  snprintf(path, sizeof path, "%s", d->node.path);
  d->used = 0;
  int rc = real_close()(fd);
  log_line("close %s -> %s lock=%s", path, rc < 0 ? err_name(errno) : "0", lock_state());
  return rc;
}

/* glibc's fopen opens the file without passing through open: served files are redirected
   here too. */
static FILE *do_fopen(const char *path, const char *mode, fopen_fn real) {
  struct node n;
  if (classify(path, &n) == K_NONE) return real(path, mode);
  FILE *f = real(n.backing, mode);
  log_line("fopen %s %s -> %s lock=%s", n.path, mode, f != NULL ? "ok" : err_name(errno), lock_state());
  return f;
}

EXPORT FILE *fopen(const char *path, const char *mode) { return do_fopen(path, mode, real_fopen()); }
EXPORT FILE *fopen64(const char *path, const char *mode) { return do_fopen(path, mode, real_fopen64()); }

EXPORT int access(const char *path, int how) {
  struct node n;
  if (classify(path, &n) == K_NONE) return real_access()(path, how);
  return real_access()(n.backing, how);
}
