/* A power cut at the Nth write to one file, loaded with LD_PRELOAD: the process ends with
   status 99 right before that write (BSP_CUT_HALF=1: after writing half of it), as if the
   power went there. BSP_CUT_PATH names the file, BSP_CUT_AT the write (counted from 1). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int g_writes;

static int refers_to(int fd, const char *target) {
  char link[64], seen[PATH_MAX], wanted[PATH_MAX];
  int n = snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  if (n < 0 || (size_t)n >= sizeof link) return 0;
  ssize_t len = readlink(link, seen, sizeof seen - 1);
  if (len < 0) return 0;
  seen[len] = '\0';
  if (realpath(target, wanted) == NULL) return 0;
  return strcmp(seen, wanted) == 0;
}

ssize_t write(int fd, const void *buf, size_t count) {
  static ssize_t (*real)(int, const void *, size_t);
  if (real == NULL) real = (ssize_t(*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
  const char *target = getenv("BSP_CUT_PATH"), *at = getenv("BSP_CUT_AT");
  if (target != NULL && at != NULL && refers_to(fd, target) && ++g_writes == atoi(at)) {
    const char *half = getenv("BSP_CUT_HALF");
    if (half != NULL && strcmp(half, "1") == 0 && count > 1) {
      ssize_t done = real(fd, buf, count / 2);
      (void)done;
      fsync(fd);
    }
    _exit(99);
  }
  return real(fd, buf, count);
}
