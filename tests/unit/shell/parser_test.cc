// Command tree, tokeniser, number conversion, lookup messages and help layout.
#include <bsp/shell.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "unit/shell/shell_test_util.h"

namespace {

using bsp::test::captured;
using bsp::test::run_line;

char *w(const char *s) { return const_cast<char *>(s); }

struct Calls {
  int count = 0;
  unsigned long args[6] = {};
} g_calls;

unsigned long record(unsigned long a, unsigned long b, unsigned long c, unsigned long d, unsigned long e,
                     unsigned long f) {
  ++g_calls.count;
  unsigned long v[6] = {a, b, c, d, e, f};
  memcpy(g_calls.args, v, sizeof v);
  return 7;
}

unsigned long other(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long, unsigned long) {
  return 9;
}

cmdline_t g_table[] = {
    {w("tst run"), record, w("run help"), w("[argcnt=2]a b")},
    {w("tst any"), record, w("any help"), w("x y")},
    {w("tst zero"), record, w(""), w("[argcnt=0]")},
    {w("tst multi"), record, w("l1\r\nl2\n\nl3\n"), w("u1\nu2")},
    {w("tst deep leaf"), record, w("leaf help"), nullptr},
};

std::string pad26(const std::string &word) { return word.size() >= 26 ? word : word + std::string(26 - word.size(), ' '); }
std::string cmd_entry(const std::string &word, const std::string &help) { return "  " + pad26(word) + help + "\r\n"; }
std::string group_entry(const std::string &word) { return "  " + pad26(word) + "<Group> (null)\r\n"; }
std::string unrecognized(const std::string &word) { return "\r\n  Error: Unrecognized command: \"" + word + "\"\r\n\r\n"; }

const std::string kTstLevel = cmd_entry("run", "run help") + cmd_entry("any", "any help") + cmd_entry("zero", "") +
                              cmd_entry("multi", "l1\r\nl2\n\nl3\n") + group_entry("deep");

class Shell : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, DRV_RegCmdList(g_table, sizeof g_table / sizeof g_table[0]));
    xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook));
  }
  void SetUp() override { g_calls = {}; }
};

struct LineCase {
  const char *line;
  int rc;
  std::string out;
  int calls;
};

TEST_F(Shell, LinesGiveTheirCodesAndMessages) {
  const LineCase cases[] = {
      {"tst any 1 2 3 4 5 6 7", 7, "", 1},
      {"tst run 1 2", 7, "", 1},
      {"\ttst\tany\t3", 7, "", 1},
      {"tst any 0X1", -1, unrecognized("0X1"), 0},
      {"tst any -1", -1, unrecognized("-1"), 0},
      {"tst run 1", -2, "\r\n  Error: Incomplete parameters\r\n\r\n", 0},
      {"tst run 1 2 3", -2, "\r\n  Error: Too many parameters\r\n\r\n", 0},
      {"tst zero 1", -2, "\r\n  Error: Too many parameters\r\n\r\n", 0},
      {"tst zero", 7, "", 1},
      {"tst", -2, "\r\n  Error: Incomplete command\r\n\r\n" + kTstLevel + "\r\n", 0},
      {"tst deep", -2, "\r\n  Error: Incomplete command\r\n\r\n" + cmd_entry("leaf", "leaf help") + "\r\n", 0},
      {"tst nope", -1, unrecognized("nope") + kTstLevel + "\r\n", 0},
      {"tst Any", -1, unrecognized("Any") + kTstLevel + "\r\n", 0},
      {"tst any extra", -1, unrecognized("extra"), 0},
      {"tst any\n", -1, unrecognized("\n"), 0},
      {"", 0, "", 0},
      {"   ", -3, "", 0},
      {"12 0x3", -3, "", 0},
      {"tst any 5%", 0, "\r\n  Error: Unrecognized command: \"tst any 5%\"\r\n\r\n", 0},
      {"tst zero\r", 0, "\r\n  Error: Unrecognized command: \"tst zero\r\"\r\n\r\n", 0},
      {"help tst any", 0, "\r\n  SUMMARY\r\n\r\n     any help\r\n\r\n  USAGE\r\n\r\n     x y\r\n\r\n", 0},
      {"help tst any 1 2 3 4 5 6 7 extra", 0,
       "\r\n  SUMMARY\r\n\r\n     any help\r\n\r\n  USAGE\r\n\r\n     x y\r\n\r\n", 0},
      {"help tst multi", 0,
       "\r\n  SUMMARY\r\n\r\n     l1\r\r\n     l2\r\n     \r\n     l3\r\n\r\n  USAGE\r\n\r\n     u1\r\n     u2\r\n\r\n",
       0},
      {"help tst zero", 0, "\r\n  SUMMARY\r\n\r\n\r\n  USAGE\r\n\r\n\r\n", 0},
      {"help tst deep leaf", 0, "\r\n  SUMMARY\r\n\r\n     leaf help\r\n\r\n  USAGE\r\n\r\n\r\n", 0},
      {"help tst", 0, kTstLevel, 0},
      {"help nothing", -1, "No help available for 'nothing'.\r\n\r\nType 'help' for a list of commands.\r\n", 0},
      {"help tst nothing", -1, "No help available for 'nothing'.\r\n\r\nType 'help' for a list of commands.\r\n", 0},
  };
  for (const auto &c : cases) {
    g_calls = {};
    auto r = run_line(c.line);
    EXPECT_EQ(c.rc, r.rc) << c.line;
    EXPECT_EQ(c.out, r.out) << c.line;
    EXPECT_EQ(c.calls, g_calls.count) << c.line;
  }
}

TEST_F(Shell, HandlersGetTheNumbersInOrderAsUnsigned32Bit) {
  struct {
    const char *line;
    unsigned long args[6];
  } cases[] = {
      {"tst any 1 2 3 4 5 6 7", {1, 2, 3, 4, 5, 6}},
      {"tst 9 any", {9, 0, 0, 0, 0, 0}},
      {"tst any 0xFFFFFFFF 0x123456789 0x 4294967297 0xa", {0xFFFFFFFFul, 0x23456789ul, 0, 1, 10, 0}},
      {"5 tst 0x80000000 any", {5, 0x80000000ul, 0, 0, 0, 0}},
  };
  for (const auto &c : cases) {
    g_calls = {};
    EXPECT_EQ(7, run_line(c.line).rc) << c.line;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(c.args[i], g_calls.args[i]) << c.line << " arg " << i;
  }
}

TEST_F(Shell, HelpWithoutArgumentsListsTheRootLevel) {
  auto r = run_line("help");
  EXPECT_EQ(0, r.rc);
  EXPECT_EQ(0u, r.out.find(group_entry("tst")));
  std::string tail = cmd_entry("help", "Obtain help for driver commands") + "\r\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(tail, r.out.substr(r.out.size() - tail.size()));
  EXPECT_NE(std::string::npos, r.out.find(group_entry("display") + group_entry("clear") + group_entry("test")));
}

TEST_F(Shell, WordsGoToTheHeadOfTheirLevelAndTablesRegisterBackwards) {
  ASSERT_EQ(0, cmd_regcmd(w("ord1 b"), record, w("B"), nullptr));
  ASSERT_EQ(0, cmd_regcmd(w("ord1 c"), record, w("C"), nullptr));
  EXPECT_EQ(cmd_entry("c", "C") + cmd_entry("b", "B"), run_line("help ord1").out);

  cmdline_t rows[] = {{w("ord2 b"), record, w("B"), nullptr}, {w("ord2 c"), record, w("C"), nullptr}};
  ASSERT_EQ(0, DRV_RegCmdList(rows, 2));
  EXPECT_EQ(cmd_entry("b", "B") + cmd_entry("c", "C"), run_line("help ord2").out);
  EXPECT_EQ(0u, run_line("help").out.find(group_entry("ord2") + group_entry("ord1") + group_entry("tst")));
}

TEST_F(Shell, RegistrationEdgeCases) {
  xprintbufclear();
  EXPECT_EQ(-1, DRV_RegCmdList(nullptr, 1));
  EXPECT_EQ("\r\n command list is NULL.\r\n", captured());
  EXPECT_EQ(0, DRV_RegCmdList(g_table, 0));
  EXPECT_EQ(-1, cmd_regcmd(nullptr, record, nullptr, nullptr));
  EXPECT_EQ(-1, cmd_regcmd(w(""), record, nullptr, nullptr));
  EXPECT_EQ(-1, cmd_regcmd(w("  \t "), record, nullptr, nullptr));
  EXPECT_EQ(0, cmd_addcmd(w("  ovr   x "), record, nullptr, w("first"), w("[argcnt=1]"), nullptr));
  EXPECT_EQ(7, run_line("ovr x 1").rc);

  // Registering again overwrites handler, help, usage and count.
  ASSERT_EQ(0, cmd_regcmd(w("ovr x"), other, w("second"), w("[argcnt=0]u")));
  EXPECT_EQ(9, run_line("ovr x").rc);
  EXPECT_EQ("\r\n  SUMMARY\r\n\r\n     second\r\n\r\n  USAGE\r\n\r\n     u\r\n\r\n", run_line("help ovr x").out);

  // A group registered as a command stops lookup there.
  ASSERT_EQ(0, cmd_regcmd(w("ovr"), other, w("grp"), nullptr));
  auto r = run_line("ovr x");
  EXPECT_EQ(-1, r.rc);
  EXPECT_EQ(unrecognized("x"), r.out);
  EXPECT_EQ(9, run_line("ovr 1 2").rc);
}

TEST(UsageMarker, CountAndDisplayedText) {
  struct {
    const char *usage;
    int count;
    const char *shown;  // nullptr: the whole usage
  } cases[] = {
      {"[argcnt=1]enable", 1, "enable"},
      {"[argcnt=0]", 0, ""},
      {"PieceNameId, ulOffset, uldata, ulLen", CMD_ARGCNT_ANY, nullptr},
      {"[ARGCNT=6]six", 6, "six"},
      {"[argcnt=7]seven", CMD_ARGCNT_ANY, "seven"},
      {"[argcnt=0x3]hex", 3, "hex"},
      {"x argCnt", CMD_ARGCNT_ANY, nullptr},
      {"argcnt=2 no bracket", 2, nullptr},
      {"a ] [argcnt=2] b", 2, " b"},
  };
  for (const auto &c : cases) {
    std::vector<char> buf(c.usage, c.usage + strlen(c.usage) + 1);
    int count = -5;
    char *shown = cmd_analyze_usage(buf.data(), &count);
    EXPECT_EQ(c.count, count) << c.usage;
    EXPECT_STREQ(c.shown != nullptr ? c.shown : c.usage, shown) << c.usage;
  }
  int count = 3;
  EXPECT_EQ(nullptr, cmd_analyze_usage(nullptr, &count));
  EXPECT_EQ(3, count);
  char u[] = "[argcnt=1]";
  EXPECT_EQ(u, cmd_analyze_usage(u, nullptr));
}

std::vector<std::string> tokens_in(char *buf) {
  queue_t list;
  cmd_build_list(&list, buf);
  std::vector<std::string> out;
  while (queue_t *q = q_deqnext(&list)) {
    out.emplace_back(reinterpret_cast<ui_token_t *>(q)->token);
    free(q);
  }
  return out;
}

std::vector<std::string> tokens_of(const std::string &line) {
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  return tokens_in(buf.data());
}

using Tokens = std::vector<std::string>;

TEST(Tokeniser, WordsAlternateWithWhitespaceRuns) {
  EXPECT_EQ((Tokens{"a", " ", "b"}), tokens_of("a b"));
  EXPECT_EQ((Tokens{"  ", "a", "   ", "b", "  "}), tokens_of("  a   b  "));
  EXPECT_EQ((Tokens{"a", " \t", "b"}), tokens_of("a \tb"));
  EXPECT_EQ((Tokens{"a", "\n", "\n", "b"}), tokens_of("a\n\nb"));
  EXPECT_EQ((Tokens{"a", "\n", " ", "b"}), tokens_of("a\n b"));
  EXPECT_EQ((Tokens{"word"}), tokens_of("word"));
  EXPECT_EQ(Tokens{}, tokens_of(""));
  EXPECT_EQ(Tokens{}, tokens_in(nullptr));
}

// A quoted string reaches a handler as its address where an address fits in 32 bits;
// elsewhere it is refused rather than handed over truncated.
TEST(Tokeniser, QuotedStrings) {
  const bool carries_address = sizeof(void *) == 4;
  char line[] = "x \"a\\r\\nb\" y";
  Tokens t = tokens_in(line);
  ASSERT_EQ(4u, t.size());
  EXPECT_EQ("x", t[0]);
  EXPECT_EQ(" ", t[2]);
  EXPECT_EQ("y", t[3]);
  if (carries_address) {
    char *text = reinterpret_cast<char *>(static_cast<uintptr_t>(lib_xtoi(t[1].c_str())));
    EXPECT_EQ(line + 3, text);
    EXPECT_STREQ("a\r\n", text);
  } else {
    EXPECT_EQ("\"", t[1]);
  }

  char unclosed[] = "a\"bc";
  t = tokens_in(unclosed);
  ASSERT_EQ(2u, t.size());
  EXPECT_EQ("bc", t[1]);
  if (carries_address) {
    EXPECT_EQ(unclosed + 2, reinterpret_cast<char *>(static_cast<uintptr_t>(lib_xtoi(t[0].c_str()))));
  }

  char whole[] = "\"q\\n\"";
  t = tokens_in(whole);
  ASSERT_EQ(1u, t.size());
  if (carries_address) {
    EXPECT_STREQ("q\n", reinterpret_cast<char *>(static_cast<uintptr_t>(lib_xtoi(t[0].c_str()))));
  }
}

TEST_F(Shell, QuotedStringThroughLookup) {
  char line[] = "tst any \"text\"";
  queue_t list;
  cmd_build_list(&list, line);
  ui_cmdline_t cmd;
  xprintbufclear();
  int rc = cmd_lookup(&list, &cmd);
  if (sizeof(void *) == 4) {
    ASSERT_EQ(0, rc);
    ASSERT_EQ(1, cmd.fargc);
    EXPECT_STREQ("text", reinterpret_cast<char *>(static_cast<uintptr_t>(static_cast<uint32_t>(cmd.fargv[0]))));
  } else {
    EXPECT_EQ(-1, rc);
    EXPECT_EQ(0, cmd.fargc);
    EXPECT_EQ(0, cmd.argc);
    EXPECT_EQ("\r\n  Error: Quoted strings are not supported\r\n\r\n", captured());
  }
  cmd_free(&cmd);
  cmd_free_tokens(&list);
}

TEST(CommandLine, WordsAndNumbersKeepTheirOwnOrder) {
  char line[] = "w1 0x10 w2 12 0x123456789 0x 0X5 -3 1 2 3";
  queue_t list;
  cmd_build_list(&list, line);
  ui_cmdline_t cmd;
  cmd_build_cmdline(&list, &cmd);
  EXPECT_EQ(nullptr, q_deqnext(&list));
  ASSERT_EQ(4, cmd.argc);
  EXPECT_STREQ("w1", cmd.argv[0]);
  EXPECT_STREQ("w2", cmd.argv[1]);
  EXPECT_STREQ("0X5", cmd.argv[2]);
  EXPECT_STREQ("-3", cmd.argv[3]);
  ASSERT_EQ(6, cmd.fargc);
  const int32_t expected[6] = {16, 12, 0x23456789, 0, 1, 2};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(expected[i], cmd.fargv[i]) << i;
  cmd_free(&cmd);
  EXPECT_EQ(0, cmd.argc);
}

TEST(CommandLine, SixtyFourWordsAtMost) {
  std::string line;
  for (int i = 0; i < 70; ++i) line += "w" + std::to_string(i) + " ";
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  queue_t list;
  cmd_build_list(&list, buf.data());
  ui_cmdline_t cmd;
  cmd_build_cmdline(&list, &cmd);
  ASSERT_EQ(64, cmd.argc);
  EXPECT_STREQ("w63", cmd.argv[63]);
  cmd_free(&cmd);
}

TEST(CharacterCheck, RefusesAtTheFirstOtherCharacter) {
  char ok[] = "a-b_C 9\t\nZz";
  EXPECT_EQ(0, cmd_checkinput(ok));
  xprintbufclear();
  EXPECT_EQ(-1, cmd_checkinput(nullptr));
  char empty[] = "";
  EXPECT_EQ(-1, cmd_checkinput(empty));
  EXPECT_EQ("", captured());
  char bad[] = "ab%cd\"";
  EXPECT_EQ(-1, cmd_checkinput(bad));
  EXPECT_STREQ("ab", bad);
  EXPECT_EQ("\r\n  Error: Unrecognized command: \"ab%\"\r\n\r\n", captured());
}

TEST(Conversion, Numbers) {
  EXPECT_EQ(31, lib_xtoi("0x1F"));
  EXPECT_EQ(255, lib_xtoi("ffz"));
  EXPECT_EQ(-1, lib_xtoi("0xFFFFFFFFF"));
  EXPECT_EQ(0, lib_xtoi(nullptr));
  EXPECT_EQ(0x123456789ull, lib_xtoq("0x123456789"));
  EXPECT_EQ(0ull, lib_xtoq(nullptr));
  EXPECT_EQ(123, lib_atoi("123abc"));
  EXPECT_EQ(16, lib_atoi("0x10"));
  EXPECT_EQ(0, lib_atoi("4294967296"));
  EXPECT_EQ(0, lib_atoi("-5"));
  EXPECT_EQ(0, lib_atoi(nullptr));
}

TEST(Conversion, DottedQuad) {
  struct {
    const char *text;
    unsigned ip;
  } cases[] = {{"192.168.1.2", 0xC0A80102u}, {"1.2.3", 0}, {"300.1.1.1", 0x2C010101u}, {"1.2.3.4.5", 0x01020304u}};
  for (const auto &c : cases) {
    std::vector<char> buf(c.text, c.text + strlen(c.text) + 1);
    EXPECT_EQ(c.ip, lib_strtoip(buf.data())) << c.text;
  }
  EXPECT_EQ(0u, lib_strtoip(nullptr));
}

TEST(Conversion, TextHelpers) {
  EXPECT_NE(0, lib_strstr_ncase(w("ArgCnt=1"), w("argcnt")));
  EXPECT_EQ(0, lib_strstr_ncase(w("arg"), w("argcnt")));
  EXPECT_EQ(0, lib_strstr_ncase(w("x argcnt"), w("argcnt")));
  // An empty second string begins every string, the empty one too.
  EXPECT_NE(0, lib_strstr_ncase(w("argcnt"), w("")));
  EXPECT_NE(0, lib_strstr_ncase(w(""), w("")));
  EXPECT_EQ(0, lib_strstr_ncase(nullptr, w("")));
  struct {
    const char *text;
    int digital;
  } cases[] = {{"0x", 1}, {"0x1aF", 1}, {"0xg", 0}, {"0X1", 0}, {"123", 1}, {"12a", 0}, {"-1", 0}, {"", 0}};
  for (const auto &c : cases) EXPECT_EQ(c.digital, alldigital(w(c.text))) << c.text;
  char *copy = lib_strdup(w("dup"));
  EXPECT_STREQ("dup", copy);
  free(copy);
  EXPECT_EQ(nullptr, lib_strdup(nullptr));
}

TEST(ListPrimitives, QueueOrderAndWhitespace) {
  char line[] = "  a b";
  queue_t list;
  cmd_build_list(&list, line);
  xprintbufclear();
  dumplist(&list);
  EXPECT_EQ("[  ] [a] [ ] [b] \n", captured());
  auto *first = reinterpret_cast<ui_token_t *>(list.q_next);
  EXPECT_EQ(1, is_white_space(first));
  EXPECT_EQ(0, is_white_space(reinterpret_cast<ui_token_t *>(first->qb.q_next)));
  cmd_eat_leading_white(&list);
  EXPECT_STREQ("a", reinterpret_cast<ui_token_t *>(list.q_next)->token);
  queue_t *a = list.q_next;
  q_dequeue(a);
  free(a);
  queue_t *blank = q_deqnext(&list);
  EXPECT_STREQ(" ", reinterpret_cast<ui_token_t *>(blank)->token);
  free(blank);
  cmd_free_tokens(&list);
  EXPECT_EQ(&list, list.q_next);
  EXPECT_EQ(&list, list.q_prev);
  EXPECT_EQ(nullptr, q_deqnext(&list));
}

TEST_F(Shell, PromptSupportListsLevels) {
  char buf[1024] = "";
  EXPECT_EQ(nullptr, cmd_promt(buf, nullptr, nullptr));
  EXPECT_NE(nullptr, strstr(buf, " tst |"));
  EXPECT_NE(nullptr, strstr(buf, " help |"));

  buf[0] = '\0';
  void *level = cmd_promt(buf, nullptr, w("tst"));
  EXPECT_STREQ(" run | any | zero | multi | deep |", buf);
  ASSERT_NE(nullptr, level);

  buf[0] = '\0';
  void *below = cmd_promt(buf, level, w("deep"));
  EXPECT_STREQ(" leaf |", buf);
  EXPECT_NE(nullptr, below);

  buf[0] = '\0';
  EXPECT_EQ(nullptr, cmd_promt(buf, level, w("any")));
  EXPECT_EQ(nullptr, cmd_promt(buf, level, w("nope")));
  EXPECT_EQ(nullptr, cmd_promt(buf, nullptr, w("run")));
  EXPECT_STREQ("", buf);

  strcpy(buf, "keep");
  _searchchildcmds(buf, static_cast<cmdtab_t *>(below));
  EXPECT_STREQ("keep leaf |", buf);
}

// Words after a command are let through only when the line's first word leads "help"; the
// help form of the call still needs the exact word.
TEST_F(Shell, ExtraWordsAfterAFirstWordThatLeadsHelp) {
  ASSERT_EQ(0, cmd_regcmd(w("hel"), record, w("h"), nullptr));
  ASSERT_EQ(0, cmd_regcmd(w("helpx"), record, w("h"), nullptr));
  const LineCase cases[] = {
      {"hel extra 4", 7, "", 1},
      {"helpx extra", -1, unrecognized("extra"), 0},
      {"helpx 4", 7, "", 1},
  };
  for (const auto &c : cases) {
    g_calls = {};
    auto r = run_line(c.line);
    EXPECT_EQ(c.rc, r.rc) << c.line;
    EXPECT_EQ(c.out, r.out) << c.line;
    EXPECT_EQ(c.calls, g_calls.count) << c.line;
    if (c.calls == 1) {
      EXPECT_EQ(4ul, g_calls.args[0]) << c.line;
    }
  }
}

TEST_F(Shell, ShellStartsOnce) {
  EXPECT_EQ(1, g_cmdinit);
  EXPECT_EQ(1, g_seclogcmdinit);
  cmdtab_t *root = cmd_root;
  EXPECT_EQ(0, ui_cmdinit());
  EXPECT_EQ(root, cmd_root);
  auto r = run_line("display command version");
  EXPECT_EQ(0, r.rc);
  EXPECT_EQ(0u, r.out.find("\r\n ******************************************               \r\n **   ui build at "));
  std::string end = "   **               \r\n ******************************************               \r\n ";
  ASSERT_GT(r.out.size(), end.size());
  EXPECT_EQ(end, r.out.substr(r.out.size() - end.size()));
}

}  // namespace
