// Allocation failures inside the shell: the line fails cleanly, nothing crashes or leaks.
// The test replaces malloc for this process; sanitizer builds keep their own allocator.
#include <bsp/shell.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include <string>
#include <vector>

#include "unit/shell/shell_test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define SHELL_TEST_OWN_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SHELL_TEST_OWN_MALLOC 0
#endif
#endif
#ifndef SHELL_TEST_OWN_MALLOC
#define SHELL_TEST_OWN_MALLOC 1
#endif

#if SHELL_TEST_OWN_MALLOC
namespace {
// -1: no failure armed; n >= 0: the allocation after n more succeeds fails.
int g_fail_in = -1;
bool g_failed = false;
}  // namespace

extern "C" void *__libc_malloc(size_t);
extern "C" void *malloc(size_t size) {
  if (g_fail_in >= 0 && g_fail_in-- == 0) {
    g_failed = true;
    return nullptr;
  }
  return __libc_malloc(size);
}
#endif

namespace {

using bsp::test::run_line;

char *w(const char *s) { return const_cast<char *>(s); }

unsigned long seven(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long, unsigned long) {
  return 7;
}

class AllocFail : public testing::Test {
 protected:
  void SetUp() override {
#if !SHELL_TEST_OWN_MALLOC
    GTEST_SKIP() << "the sanitizer's allocator cannot be made to fail on demand";
#endif
    cmdline_t row[] = {{w("alloc probe"), seven, w("probe"), w("")}};
    ASSERT_EQ(0, DRV_RegCmdList(row, 1));
    xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook));
  }
#if SHELL_TEST_OWN_MALLOC
  static void arm(int n) {
    g_failed = false;
    g_fail_in = n;
  }
  static bool disarm() {
    g_fail_in = -1;
    return g_failed;
  }
  // Runs a line with its n-th allocation failing; nothing else allocates meanwhile.
  static bsp::test::LineResult run_failing(const std::string &line, int n) {
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    xprintbufclear();
    arm(n);
    int rc = ui_docommands(buf.data());
    disarm();
    return {rc, bsp::test::captured()};
  }
#endif
};

TEST_F(AllocFail, EveryFailingAllocationFailsTheLineCleanly) {
#if SHELL_TEST_OWN_MALLOC
  const char *lines[] = {"alloc probe 1 2", "help alloc probe", "alloc  probe extra"};
  for (const char *line : lines) {
    xprintbufclear();
    auto expected = run_line(line);
    for (int n = 0;; ++n) {
      auto r = run_failing(line, n);
      if (!g_failed) {
        EXPECT_EQ(expected.rc, r.rc) << line;
        EXPECT_EQ(expected.out, r.out) << line;
        break;
      }
      EXPECT_EQ(-1, r.rc) << line << ", allocation " << n;
      EXPECT_EQ("\r\n  Error: Not enough memory for the command line\r\n\r\n", r.out) << line << ", allocation " << n;
    }
  }
#endif
}

TEST_F(AllocFail, TokeniserLeavesAnEmptyListAndRegistrationFails) {
#if SHELL_TEST_OWN_MALLOC
  char line[] = "a b c";
  queue_t list;
  arm(2);
  cmd_build_list(&list, line);
  EXPECT_TRUE(disarm());
  EXPECT_EQ(&list, list.q_next);

  for (int n = 0;; ++n) {
    arm(n);
    int rc = cmd_regcmd(w("alloc new deeper"), seven, w("x"), nullptr);
    if (!disarm()) {
      EXPECT_EQ(0, rc);
      break;
    }
    EXPECT_EQ(-1, rc) << "allocation " << n;
  }
  EXPECT_EQ(7, run_line("alloc new deeper").rc);
#endif
}

}  // namespace
