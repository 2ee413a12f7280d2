// Reads lines with gets_s from standard input: one output line per call, "[text]" or "NULL".
#include <bsp/boundc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
  size_t size = argc > 1 ? strtoul(argv[1], nullptr, 0) : 16;
  char buf[64];
  for (int i = 0; i < 16; ++i) {
    memset(buf, '#', sizeof buf);
    char *r = gets_s(buf, size);
    if (r == nullptr) {
      printf("NULL\n");
      break;
    }
    printf("%s[%s]\n", r == buf ? "" : "other:", buf);
  }
  return 0;
}
