// Command lines through the shell over a tree with registered commands: the character check,
// the tokeniser (quoted strings too, through the direct path), lookup, help, prompt support
// and the dump of arbitrary bytes.
#include <bsp/shell.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

namespace {

char *w(const char *s) { return const_cast<char *>(s); }

unsigned long sum(unsigned long a, unsigned long b, unsigned long c, unsigned long d, unsigned long e,
                  unsigned long f) {
  return a + b + c + d + e + f;
}

unsigned long zero(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long, unsigned long) {
  return 0;
}

cmdline_t g_rows[] = {
    {w("fz run"), sum, w("run"), w("[argcnt=2]a b")},
    {w("fz any"), sum, w("any"), w("x y")},
    {w("fz zero"), zero, w(""), w("[argcnt=0]")},
    {w("fz deep er est"), sum, w("l1\r\nl2\n\n"), w("[ARGCNT=6]u1\nu2")},
    {w("fz deep er"), zero, nullptr, nullptr},
    {w("he"), zero, w("h"), w("[argcnt=9]")},
    {w("x"), sum, w("x"), w("[argcnt=1]")},
};

void quiet(const char *) {}

void setup() {
  static bool done = false;
  if (done) return;
  done = true;
  DRV_RegCmdList(g_rows, sizeof g_rows / sizeof g_rows[0]);
  xprinthookinit(reinterpret_cast<void *>(quiet));
}

std::vector<char> line_of(const uint8_t *data, size_t size) {
  std::vector<char> buf(data, data + size);
  buf.push_back('\0');
  return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  setup();
  xprintbufclear();

  std::vector<char> line = line_of(data, size);
  ui_docommands(line.data());

  // Direct callers reach the tokeniser with quotes and any other byte.
  line = line_of(data, size);
  queue_t tokens;
  cmd_build_list(&tokens, line.data());
  ui_cmdline_t cmd;
  cmd_lookup(&tokens, &cmd);
  cmd_free(&cmd);
  cmd_free_tokens(&tokens);

  // Prompt support walks the words of the line.
  line = line_of(data, size);
  char listing[4096] = "";
  cmd_promt(listing, nullptr, nullptr);
  void *level = nullptr;
  for (char *save = nullptr, *word = strtok_r(line.data(), " \t\n", &save); word != nullptr;
       word = strtok_r(nullptr, " \t\n", &save)) {
    listing[0] = '\0';
    level = cmd_promt(listing, level, word);
    if (level == nullptr) break;
  }

  if (size > 0) DRV_DumpMemory(const_cast<uint8_t *>(data + 1), size - 1, data[0], "%zu", size);
  int len;
  while (xprintbufextract(&len) != nullptr) {
  }
  return 0;
}
