// Flash-dynamic area across processes: start-up, power loss at every flash write of a save,
// a resize with a move, a format and the start-up format, concurrent savers, and the roots.
#include <gtest/gtest.h>
#include <ctype.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "area_image.h"
#include "support/board_fs.h"
#include "support/capture.h"

using namespace fdy_test;

namespace {

const std::string kProbe = FDY_PROBE;
constexpr uint32_t kData = kStart + kHead;
constexpr int kCutStatus = 86;

bsp::test::ProcessResult probe(std::vector<std::string> args) {
  args.insert(args.begin(), kProbe);
  return bsp::test::run_process(args);
}

// The "@@" result lines of a probe's output.
std::string results(const std::string &text) {
  std::string out;
  size_t pos = 0;
  while ((pos = text.find("@@", pos)) != std::string::npos) {
    size_t end = text.find('\n', pos);
    out += text.substr(pos, end - pos) + "\n";
    pos = end;
  }
  return out;
}
std::string results(const bsp::test::ProcessResult &r) { return results(r.out); }

std::string hex(unsigned long long v, bool prefix = true) {
  char b[32];
  snprintf(b, sizeof b, prefix ? "0x%llx" : "%016llx", v);
  return b;
}

// What the probe prints for a file holding `content`.
std::string loaded(uint32_t id, const std::string &content) {
  return "@@load " + std::to_string(id) + " n=" + std::to_string(content.size()) + " h=" + hex(hash(content), false) +
         "\n";
}

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

void fresh_board() {
  bsp::test::reset_board();
  bsp::test::sh("mkdir -p /mnt/misc");
}

// A command line for the shell that runs the probe (through the emulator in the 32-bit build).
std::string shell_command(const std::vector<std::string> &args) {
  std::vector<std::string> argv{kProbe};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string line;
  for (const std::string &word : bsp::test::with_emulator(argv)) line += " '" + word + "'";
  return line;
}

std::map<uint32_t, std::string> files_of(const std::string &f) {
  std::map<uint32_t, std::string> files;
  for (const Entry &e : decode(f).files) files.emplace(e.id, content(f, e));
  return files;
}

TEST(FdyStart, AFreshFileIsFormattedOnceAndTracedOnlyWithTheDebugSwitch) {
  for (const char *level : {"0", "1", "2"}) {
    SCOPED_TRACE(std::string("debug ") + level);
    fresh_board();
    bsp::test::ProcessResult first = probe({"debug", level, "init"});
    EXPECT_EQ("@@init rc=0\n", results(first));
    EXPECT_TRUE(has(first.out, "\r\nFind Flash Dynamic ERROR\r\n"));
    EXPECT_EQ(std::string(level) == "1", has(first.out, "Tracd bsp/common/FlashDynamic/FlashDynamic["));
    const std::string f = flash();
    const Area a = decode(f);
    EXPECT_TRUE(a.magic);
    EXPECT_TRUE(a.files.empty());
    EXPECT_TRUE(std::string(kSize - 8, '\xFF') == f.substr(kStart + 8, kSize - 8));
    EXPECT_TRUE(f.substr(kStart + kSize) == std::string(kFlashSize - kStart - kSize, '\0'));
    bsp::test::ProcessResult second = probe({"debug", level, "init"});
    EXPECT_EQ("@@init rc=0\n", results(second));
    EXPECT_FALSE(has(second.out, "Find Flash Dynamic ERROR"));
    EXPECT_FALSE(has(second.out, "Tracd"));
  }
}

// With file 6 first and the magic damaged the start-up format keeps file 6 and writes the
// magic, so the next start does not format again and keeps what was saved in between.
TEST(FdyStart, TheStartUpFormatRunsOnceAndKeepsFileSix) {
  fresh_board();
  ASSERT_EQ("@@init rc=0\n@@save 6 rc=0\n@@save 7 rc=0\n", results(probe({"init", "save", "6", "0x2800", "1", "save",
                                                                         "7", "100", "1"})));
  put_flash(kStart + 2, std::string(2, '\0'));
  bsp::test::ProcessResult first = probe({"init", "save", "9", "300", "1"});
  EXPECT_TRUE(has(first.out, "\r\nFind Flash Dynamic ERROR\r\n"));
  EXPECT_EQ("@@init rc=0\n@@save 9 rc=0\n", results(first));
  bsp::test::ProcessResult second = probe({"init", "load", "6", "load", "7", "load", "9"});
  EXPECT_FALSE(has(second.out, "Find Flash Dynamic ERROR"));
  EXPECT_EQ("@@init rc=0\n" + loaded(6, pattern(6, 0x2800)) + "@@load 7 none\n" + loaded(9, pattern(9, 300)),
            results(second));
}

TEST(FdyStart, BeforeTheStartNothingWorks) {
  fresh_board();
  bsp::test::ProcessResult r = probe({"list", "save", "5", "10", "1", "load", "5", "check", "rename", "5", "6",
                                      "freedesc", "format", "format6"});
  EXPECT_EQ("\r\nThe Flash Dynamic Module do NOT initialized!!\r\n", r.out.substr(0, r.out.find("@@")));
  EXPECT_EQ("@@save 5 rc=1\n@@load 5 none\n@@check rc=1\n@@rename rc=1\n@@freedesc 0\n@@format rc=1\n@@format6 rc=1\n",
            results(r));
}

TEST(FdyStart, OnlyTheFirstStartCounts) {
  fresh_board();
  bsp::test::ProcessResult r = probe({"init", "init", "0x100000", "0x100000", "list"});
  EXPECT_EQ("@@init rc=0\n@@init rc=0\n", results(r));
  EXPECT_TRUE(has(r.out, "\r\nFlash Dynamic Area :0x180000 + 0x200000\r\n"));
}

TEST(FdyStart, SmallDataAreas) {
  struct Case {
    uint32_t data;
    std::vector<std::pair<uint32_t, uint32_t>> saves;  // length, result
    std::vector<uint32_t> allocs;
  } cases[] = {
      {0x5FFF, {{100, 0}, {100, 0}, {1, 1}}, {0x2000, 0x2000}},  // less than a block left
      {0x5000, {{0x4800, 0}, {1, 1}}, {0x5000}},                  // the rest of the area, not whole blocks
      {0x3000, {{100, 0}, {1, 1}}, {0x2000}},
      {0x1FFF, {{1, 1}}, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(hex(c.data));
    fresh_board();
    std::vector<std::string> args{"init", hex(kStart), hex(kHead + c.data)};
    std::string expected = "@@init rc=0\n";
    uint32_t id = 1;
    for (auto [len, rc] : c.saves) {
      args.insert(args.end(), {"save", std::to_string(id), std::to_string(len), "1"});
      expected += "@@save " + std::to_string(id++) + " rc=" + std::to_string(rc) + "\n";
    }
    EXPECT_EQ(expected, results(probe(args)));
    const Geometry g{kStart, kHead + c.data};
    const Area a = decode(flash(), g);
    std::vector<uint32_t> allocs;
    for (const Entry &e : a.files) allocs.push_back(e.alloc);
    EXPECT_EQ(c.allocs, allocs);
    EXPECT_EQ("", layout_fault(a, g));
  }
}

// The default area holds at most 240 files of a block: the whole table is tried in a larger
// area of a sparse flash emulation file, laid out by this test.
TEST(FdyStart, TheFullTableInALargerSparseArea) {
  fresh_board();
  const Geometry g{kStart, kHead + kEntries * 0x2000 + 0x4000};
  bsp::test::write_file(kFlashFile, std::string(kFlashSize, '\0'));
  std::vector<Entry> entries;
  for (uint32_t k = 0; k + 1 < kEntries; ++k) entries.push_back({k + 1, kData + k * 0x2000, 16, 0x2000, 0, 0});
  put_flash(kStart, head_bytes(entries));
  bsp::test::ProcessResult r =
      probe({"init", hex(g.start), hex(g.size), "save", "100001", "100", "1", "save", "100002", "100", "1", "load",
             "1", "load", "5460", "load", "100001", "save", "100001", "120", "0", "load", "100001", "check",
             "freedesc", "list"});
  EXPECT_EQ("@@init rc=0\n@@save 100001 rc=0\n@@save 100002 rc=1\n" + loaded(1, std::string(16, '\0')) +
                loaded(5460, std::string(16, '\0')) + loaded(100001, pattern(100001, 100)) +
                "@@save 100001 rc=0\n" + loaded(100001, pattern(100001, 120)) + "@@check rc=0\n@@freedesc 0\n",
            results(r));
  EXPECT_FALSE(has(r.out, "Find Flash Dynamic ERROR"));
  EXPECT_TRUE(has(r.out, "\r\n5461:[0x186a1] : 0x2c48000 + (0x0078 / 0x2000)\r\n\r\nFile number is 5461 / 5461.\r\n"));
  const std::string f = flash();
  const Area a = decode(f, g);
  ASSERT_EQ(kEntries, a.files.size());
  EXPECT_EQ("", layout_fault(a, g));
  EXPECT_TRUE(content(f, a.files.back()) == pattern(100001, 120));
}

// ---- power loss ----

struct Scenario {
  const char *what;
  std::vector<std::string> setup;             // after "init", builds the area the operation finds
  std::vector<std::string> op;                // "CUT" is where the cut is armed
  uint32_t saved = 0;                         // the file being saved
  size_t saved_len = 0;
  bool saved_is_new = false;                  // absent or whole after a cut
  uint32_t at_risk = 0;                       // may be damaged at one cut (no room to move around it)
  bool format = false;                        // files other than `kept` go
  std::vector<uint32_t> kept = {};
  void (*damage)() = nullptr;                 // applied before the operation
};

std::vector<std::string> files_cmds(uint32_t first, uint32_t count, const std::string &len) {
  std::vector<std::string> v;
  for (uint32_t id = first; id < first + count; ++id) v.insert(v.end(), {"save", std::to_string(id), len, "1"});
  return v;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void damage_magic() { put_flash(kStart, std::string(8, '\0')); }

const Scenario kScenarios[] = {
    {"a new file", {"save", "1", "100", "1", "save", "2", "0x3000", "1"}, {"init", "CUT", "save", "3", "0x2800", "1"},
     3, 0x2800, true},
    {"a grow whose move goes through free space",
     {"save", "1", "100", "1", "save", "2", "0x1000", "1", "save", "3", "0x3000", "1"},
     {"init", "CUT", "save", "1", "0x3000", "0"}, 1, 0x3000},
    {"a grow that moves the files past their old place", {"save", "1", "100", "1", "save", "2", "100", "1"},
     {"init", "CUT", "save", "1", "0x5000", "0"}, 1, 0x5000},
    {"a shrink whose move goes through free space",
     {"save", "1", "0x3000", "1", "save", "2", "0x1000", "1", "save", "3", "0x3000", "1"},
     {"init", "CUT", "save", "1", "100", "0"}, 1, 100},
    {"a grow without room for a detour", std::vector<std::string>{"save", "1", "0x1C0000", "1", "save", "2", "100", "1"} +
                                             files_cmds(3, 13, "0x1000"),
     {"init", "CUT", "save", "2", "0x3000", "0"}, 2, 0x3000},
    {"a grow without room, moving a file over itself",
     std::vector<std::string>{"save", "1", "0x1C0000", "1", "save", "2", "100", "1", "save", "3", "0x3000", "1"} +
         files_cmds(4, 11, "0x1000"),
     {"init", "CUT", "save", "2", "0x3000", "0"}, 2, 0x3000, false, 3},
    {"a shrink without room for a detour",
     std::vector<std::string>{"save", "1", "0x1C0000", "1", "save", "2", "0x3000", "1"} + files_cmds(3, 13, "0x1000"),
     {"init", "CUT", "save", "2", "100", "0"}, 2, 100},
    {"a format", {"save", "1", "100", "1", "save", "2", "0x3000", "1"}, {"init", "CUT", "format"}, 0, 0, false, 0,
     true},
    {"the start-up format keeping file 6",
     {"save", "6", "0x2800", "1", "save", "7", "100", "1", "save", "8", "0x3000", "1"}, {"CUT", "init"}, 0, 0, false,
     0, true, {6}, damage_magic},
};

void PrintTo(const Scenario &s, std::ostream *os) { *os << s.what; }

class PowerLoss : public testing::TestWithParam<Scenario> {};

TEST_P(PowerLoss, EveryCutLeavesAValidAreaAndTheOtherFilesWhole) {
  const Scenario &s = GetParam();
  fresh_board();
  ASSERT_EQ(0, probe(std::vector<std::string>{"init"} + s.setup).status);
  if (s.damage != nullptr) s.damage();
  const std::string before = flash();
  const std::map<uint32_t, std::string> old_files = files_of(before);
  std::vector<uint32_t> kept = s.kept;
  if (!s.format) {
    for (const auto &[id, c] : old_files) {
      if (id != s.saved) kept.push_back(id);
    }
  }
  auto op = [&](unsigned cut) {
    std::vector<std::string> args;
    for (const std::string &word : s.op) {
      if (word == "CUT") {
        args.insert(args.end(), {"cut", std::to_string(cut)});
      } else {
        args.push_back(word);
      }
    }
    return args;
  };
  std::vector<std::string> restart{"init", "check"};
  for (const auto &[id, c] : old_files) restart.insert(restart.end(), {"load", std::to_string(id)});
  if (s.saved_is_new) restart.insert(restart.end(), {"load", std::to_string(s.saved)});

  bsp::test::ProcessResult whole = probe(op(0) + std::vector<std::string>{"writes"});
  const std::string r = results(whole);
  const size_t at = r.find("@@writes ");
  ASSERT_NE(std::string::npos, at) << r;
  const unsigned writes = static_cast<unsigned>(std::stoul(r.substr(at + 9)));
  ASSERT_GT(writes, 1u);
  const std::string after = flash();
  EXPECT_EQ("", layout_fault(decode(after)));
  if (s.saved != 0) {
    EXPECT_TRUE(files_of(after)[s.saved] == pattern(s.saved, s.saved_len));
  }

  unsigned damaged = 0;
  for (unsigned n = 1; n < writes; ++n) {
    SCOPED_TRACE("cut after flash write " + std::to_string(n) + " of " + std::to_string(writes));
    bsp::test::write_file(kFlashFile, before);
    ASSERT_EQ(kCutStatus, probe(op(n)).status);
    EXPECT_EQ("", layout_fault(decode(flash())));  // what the next start checks
    bsp::test::ProcessResult next = probe(restart);
    EXPECT_FALSE(has(next.out, "Find Flash Dynamic ERROR"));
    const std::string seen = results(next);
    EXPECT_TRUE(has(seen, "@@init rc=0\n@@check rc=0\n")) << seen;
    for (uint32_t id : kept) {
      if (has(seen, loaded(id, old_files.at(id)))) continue;
      if (id == s.at_risk) {
        ++damaged;
      } else {
        ADD_FAILURE() << "file " << id << " damaged:\n" << seen;
      }
    }
    if (s.saved_is_new) {
      EXPECT_TRUE(has(seen, "@@load " + std::to_string(s.saved) + " none\n") ||
                  has(seen, loaded(s.saved, pattern(s.saved, s.saved_len))))
          << seen;
    }
  }
  // Only a file moved over itself (no room to go around) is at risk, and only by the cut
  // between its own data write and the entries that hand it over.
  EXPECT_EQ(s.at_risk != 0 ? 1u : 0u, damaged);
}

INSTANTIATE_TEST_SUITE_P(Fdy, PowerLoss, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario> &info) {
                           std::string name;
                           for (const char *p = info.param.what; *p != '\0'; ++p) {
                             if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

// ---- other processes ----

TEST(FdyProcesses, ConcurrentSaversLoseNothing) {
  fresh_board();
  ASSERT_EQ("@@init rc=0\n", results(probe({"init"})));
  struct Saver {
    uint32_t base;
    const char *len1, *len2;
    size_t final_len;
  } savers[] = {{100, "100", "0x2100", 0x2100}, {200, "0x1000", "0x3000", 0x3000}, {300, "50", "0x900", 0x900}};
  constexpr uint32_t kCount = 25;
  std::string line;
  for (const Saver &s : savers) {
    line += shell_command({"init", "loop", std::to_string(s.base), std::to_string(kCount), s.len1, s.len2}) +
            " > /mnt/saver" + std::to_string(s.base) + ".out & ";
  }
  ASSERT_EQ(0, bsp::test::sh(line + "wait"));
  std::vector<std::string> loads{"init", "check"};
  std::string expected = "@@init rc=0\n@@check rc=0\n";
  for (const Saver &s : savers) {
    const std::string out = bsp::test::read_file("/mnt/saver" + std::to_string(s.base) + ".out");
    EXPECT_TRUE(has(out, "@@loop " + std::to_string(s.base) + " failures=0")) << out;
    for (uint32_t id = s.base; id < s.base + kCount; ++id) {
      loads.insert(loads.end(), {"load", std::to_string(id)});
      expected += loaded(id, pattern(id, s.final_len));
    }
  }
  EXPECT_EQ(expected, results(probe(loads)));
  const Area a = decode(flash());
  EXPECT_EQ(3 * kCount, a.files.size());
  EXPECT_EQ("", layout_fault(a));
}

// A process that started before another saved sees that save at its next operation, and the
// later one sees what the earlier saved before and after it started.
TEST(FdyProcesses, AnEarlierProcessAndALaterOne) {
  fresh_board();
  const std::string early = shell_command({"init", "save", "1", "100", "1", "signal", "/mnt/ready", "wait", "/mnt/go",
                                           "load", "2", "save", "1", "0x2100", "1", "signal", "/mnt/done"});
  const std::string late = shell_command({"wait", "/mnt/ready", "init", "load", "1", "save", "2", "500", "1", "signal",
                                          "/mnt/go", "wait", "/mnt/done", "load", "1"});
  ASSERT_EQ(0, bsp::test::sh(early + " > /mnt/early.out & " + late + " > /mnt/late.out; wait"));
  EXPECT_EQ("@@init rc=0\n@@save 1 rc=0\n" + loaded(2, pattern(2, 500)) + "@@save 1 rc=0\n",
            results(bsp::test::read_file("/mnt/early.out")));
  EXPECT_EQ("@@init rc=0\n" + loaded(1, pattern(1, 100)) + "@@save 2 rc=0\n" + loaded(1, pattern(1, 0x2100)),
            results(bsp::test::read_file("/mnt/late.out")));
  EXPECT_EQ("@@init rc=0\n" + loaded(1, pattern(1, 0x2100)) + loaded(2, pattern(2, 500)),
            results(probe({"init", "load", "1", "load", "2"})));
}

// The roots themselves, through the reference host: the first formats a new area and comes up
// empty; files saved by another process survive every later root.
TEST(FdyProcesses, RootsFormatANewAreaAndKeepItsFiles) {
  bsp::test::reset_board();
  bsp::test::ProcessResult first = bsp::test::run_process({bsp::test::bsp_shell_path(), "--process", "monitor"});
  EXPECT_TRUE(has(first.out, "\r\nFind Flash Dynamic ERROR\r\n"));
  EXPECT_FALSE(has(first.out, "Initializing FlashDynamic Module:FAIL"));
  const std::string f = flash();
  ASSERT_EQ(kFlashSize, f.size());
  EXPECT_TRUE(decode(f).magic);
  EXPECT_TRUE(std::string(kSize - 8, '\xFF') == f.substr(kStart + 8, kSize - 8));
  ASSERT_EQ("@@init rc=0\n@@save 5 rc=0\n", results(probe({"init", "save", "5", "0x1234", "1"})));
  for (const char *kind : {"main", "lum", "monitor"}) {
    bsp::test::ProcessResult again = bsp::test::run_process({bsp::test::bsp_shell_path(), "--process", kind});
    EXPECT_FALSE(has(again.out, "Find Flash Dynamic ERROR")) << kind;
    EXPECT_FALSE(has(again.out, "Initializing FlashDynamic Module:FAIL")) << kind;
  }
  EXPECT_EQ("@@init rc=0\n" + loaded(5, pattern(5, 0x1234)), results(probe({"init", "load", "5"})));
}

// A flash emulation file the area cannot be started on (a directory in its place): the root
// reports it and goes on.
TEST(FdyProcesses, ARootReportsAnAreaThatCannotStart) {
  bsp::test::reset_board();
  bsp::test::sh("mkdir -p /mnt/misc/flashfile");
  bsp::test::ProcessResult r = bsp::test::run_process({bsp::test::bsp_shell_path(), "--process", "monitor"});
  EXPECT_TRUE(has(r.out, "\r\nFind Flash Dynamic ERROR\r\n")) << r.out;
  EXPECT_TRUE(has(r.out, "\n\r\r\nInitializing FlashDynamic Module:FAIL\r\n")) << r.out;
}

}  // namespace
