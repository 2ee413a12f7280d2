// Reads standard input through scanf_s and fscanf_s(stdin) and prints what it got.
#include <bsp/boundc.h>
#include <stdio.h>

int main() {
  int a = 0, b = 0;
  char w[16] = "";
  int r1 = scanf_s("%d %s", &a, w, static_cast<unsigned>(sizeof w));
  int r2 = fscanf_s(stdin, "%d", &b);
  char rest[32] = "";
  if (fgets(rest, sizeof rest, stdin) == nullptr) rest[0] = '\0';
  printf("scanf_s=%d %d %s|fscanf_s=%d %d|rest=%s\n", r1, a, w, r2, b, rest);
  return 0;
}
