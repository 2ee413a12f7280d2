// Storage across processes: restart, power loss at every point of a commit, concurrent and
// stale writers, and the library and loader builds sharing one flash emulation file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "storage_flavor.h"
#include "support/board_fs.h"
#include "support/capture.h"

using namespace storage_test;

namespace {

const std::string kLibProbe = STORAGE_PROBE;
const std::string kLoaderProbe = STORAGE_PROBE_LOADER;

bsp::test::ProcessResult probe(const std::string &program, std::vector<std::string> args) {
  args.insert(args.begin(), program);
  return bsp::test::run_process(args);
}

// The "@@" result lines of a probe run.
std::string results(const bsp::test::ProcessResult &r) {
  std::string out;
  size_t pos = 0;
  while ((pos = r.out.find("@@", pos)) != std::string::npos) {
    size_t end = r.out.find('\n', pos);
    out += r.out.substr(pos, end - pos) + "\n";
    pos = end;
  }
  return out;
}

std::string dump(const std::string &program = kLibProbe) { return results(probe(program, {"init", "dump"})); }

// A command line for the shell that runs a probe (through the emulator in the 32-bit build).
std::string shell_command(const std::string &program, const std::vector<std::string> &args) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string line;
  for (const std::string &word : bsp::test::with_emulator(argv)) line += " '" + word + "'";
  return line;
}

class StorageProcesses : public testing::Test {
 protected:
  void SetUp() override { fresh_board(); }
};

TEST_F(StorageProcesses, FrontWithoutLockFailsCleanly) {
  for (const std::string &program : {kLibProbe, kLoaderProbe}) {
    SCOPED_TRACE(program);
    bsp::test::ProcessResult r = probe(program, {"front-before-init"});
    EXPECT_EQ(0, r.status);
    const bool loader = program == kLoaderProbe;
    EXPECT_EQ(loader ? "@@front read=ffffffff write=ffffffff\n" : "@@front read=1 write=1\n", results(r));
    EXPECT_NE(std::string::npos, (loader ? r.err : r.out).find("Cannot obtain shared lock on flash device file"));
  }
}

TEST_F(StorageProcesses, PiecesBeforeStartUpAreUnavailable) {
  EXPECT_EQ("@@pieces write=810401a1 read=810401a1 delete=810401a1 raw=810401a1 init=810401a1 mem=0\n",
            results(probe(kLibProbe, {"pieces-before-init"})));
  EXPECT_EQ("@@pieces write=ffffffff read=ffffffff delete=ffffffff raw=ffffffff init=ffffffff mem=0\n",
            results(probe(kLoaderProbe, {"pieces-before-init"})));
}

TEST_F(StorageProcesses, RootCreatesTheFileAndAnotherProcessSeesItsPieces) {
  bsp::test::ProcessResult first = probe(kLibProbe, {"init", "write", "kept", "across"});
  EXPECT_EQ("@@init rc=0\n@@write kept rc=0\n", results(first));
  EXPECT_EQ(std::string(kFlashSize, '\0').size(), bsp::test::read_file(kFlashFile).size());
  std::string seen = dump();
  EXPECT_NE(std::string::npos, seen.find("@@piece kept 32 rc=0 616372"));
  EXPECT_EQ(seen, dump(kLoaderProbe));
}

// The roots themselves, through the reference host: the first creates the flash emulation file
// and comes up on an empty file system; later roots keep what other processes wrote.
TEST_F(StorageProcesses, RootsCreateTheFlashFileAndKeepItsPieces) {
  bsp::test::sh("rm -rf /mnt/misc");
  bsp::test::ProcessResult first = bsp::test::run_process({bsp::test::bsp_shell_path(), "--process", "monitor"});
  const std::string file = bsp::test::read_file(kFlashFile);
  ASSERT_EQ(kFlashSize, file.size());
  struct stat st;
  ASSERT_EQ(0, stat(kFlashFile, &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_EQ(std::string(kMain, '\0'), file.substr(0, kMain));
  // The flash-dynamic area follows the spare area (its own tests check it); the rest stays zero.
  EXPECT_EQ(std::string(kFlashSize - 0x380000, '\0'), file.substr(0x380000));
  for (uint32_t base : {kMain, kSpare}) EXPECT_EQ(0x59A2D6CFu, le32(file, base));
  EXPECT_NE(std::string::npos, first.out.find("\r\n FLASH_CreateFlashFile /mnt/misc/flashfile\r\n"));
  EXPECT_EQ("@@init rc=0\n@@count 0\n", dump());

  ASSERT_EQ(0, probe(kLibProbe, {"init", "write", "survivor", "S"}).status);
  for (const char *kind : {"main", "lum", "monitor"}) {
    bsp::test::ProcessResult again = bsp::test::run_process({bsp::test::bsp_shell_path(), "--process", kind});
    EXPECT_EQ(std::string::npos, again.out.find("BSP_VfsPieceCheck")) << kind;
  }
  EXPECT_NE(std::string::npos, dump().find("@@piece survivor 32 rc=0 53")) << dump();
}

// Processes that start on a board without the flash emulation file all create it at once: each
// ends up with the same whole file, and none overwrites what another already wrote into it.
TEST_F(StorageProcesses, ConcurrentCreatorsShareOneWholeFile) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    fresh_board();
    const std::string first = shell_command(kLibProbe, {"wait", "/mnt/go", "create", "mark", "0x47f000", "first"});
    const std::string second =
        shell_command(kLoaderProbe, {"wait", "/mnt/go", "create", "mark", "0x47f800", "second"});
    const std::string third = shell_command(kLibProbe, {"wait", "/mnt/go", "create", "mark", "0x47fc00", "third"});
    ASSERT_EQ(0, bsp::test::sh(first + " > /mnt/first.out & " + second + " > /mnt/second.out & " + third +
                               " > /mnt/third.out & touch /mnt/go; wait"));
    for (const char *out : {"/mnt/first.out", "/mnt/second.out", "/mnt/third.out"}) {
      const std::string text = bsp::test::read_file(out);
      EXPECT_NE(std::string::npos, text.find("@@create rc=0\n@@mark rc=0\n")) << out << ": " << text;
    }
    EXPECT_EQ(kFlashSize, bsp::test::read_file(kFlashFile).size());
    EXPECT_EQ("first", flash_bytes(0x47f000, 5));
    EXPECT_EQ("second", flash_bytes(0x47f800, 6));
    EXPECT_EQ("third", flash_bytes(0x47fc00, 5));
    EXPECT_EQ(std::string(0x47f000, '\0'), flash_bytes(0, 0x47f000));
    bsp::test::sh("ls -A /mnt/misc > /mnt/listing");
    EXPECT_EQ("flashfile\n", bsp::test::read_file("/mnt/listing"));
  }
}

TEST_F(StorageProcesses, PowerLossAtAnyPointOfACommitKeepsBeforeOrAfter) {
  ASSERT_EQ(0, probe(kLibProbe, {"init", "write", "a", "AAAA", "write", "b", "BBBB", "write", "c", "CCCC"}).status);
  const std::string before = bsp::test::read_file(kFlashFile);
  const std::string dump_before = dump();
  ASSERT_EQ(0, probe(kLibProbe, {"init", "write", "b", std::string(100, 'N')}).status);  // moves b to the end
  const std::string after = bsp::test::read_file(kFlashFile);
  const std::string dump_after = dump();
  ASSERT_NE(dump_before, dump_after);

  auto area = [](const std::string &file, uint32_t base) { return file.substr(base, kArea); };
  auto mix = [](const std::string &newer, const std::string &older, size_t k) {
    return newer.substr(0, k) + older.substr(k);
  };
  struct Point {
    std::string what;
    std::string main_area, spare_area;
  };
  std::vector<Point> points;
  points.push_back({"before or after the stamp", area(before, kMain), area(before, kSpare)});
  for (size_t k : {1ul, 4ul, 8ul, 16ul, 200ul, 19584ul, 19700ul, 0x40000ul, kArea - 1ul}) {
    points.push_back({"main write cut at " + std::to_string(k), mix(area(after, kMain), area(before, kMain), k),
                      area(before, kSpare)});
  }
  points.push_back({"between main and spare", area(after, kMain), area(before, kSpare)});
  for (size_t k : {1ul, 16ul, 19700ul, kArea - 1ul}) {
    points.push_back({"spare write cut at " + std::to_string(k), area(after, kMain),
                      mix(area(after, kSpare), area(before, kSpare), k)});
  }
  for (const std::string &program : {kLibProbe, kLoaderProbe}) {
    for (const Point &p : points) {
      SCOPED_TRACE(program + ": " + p.what);
      bsp::test::write_file(kFlashFile, before);
      put_flash_bytes(kMain, p.main_area);
      put_flash_bytes(kSpare, p.spare_area);
      const bool main_new = p.main_area == area(after, kMain);
      EXPECT_EQ(main_new ? dump_after : dump_before, dump(program));
      // The repair is on flash: both areas agree and the next start sees the same.
      EXPECT_EQ(flash_bytes(kMain, kArea), flash_bytes(kSpare, kArea));
      EXPECT_EQ(main_new ? dump_after : dump_before, dump(program));
    }
  }
}

TEST_F(StorageProcesses, ConcurrentWritersLoseNothing) {
  ASSERT_EQ(0, probe(kLibProbe, {"init"}).status);
  const std::string line = shell_command(kLibProbe, {"init", "loop", "a", "20"}) + " > /mnt/a.out & " +
                           shell_command(kLoaderProbe, {"init", "loop", "b", "20"}) + " > /mnt/b.out & " +
                           shell_command(kLibProbe, {"init", "loop", "c", "20"}) + " > /mnt/c.out & wait";
  ASSERT_EQ(0, bsp::test::sh(line));
  for (const char *out : {"/mnt/a.out", "/mnt/b.out", "/mnt/c.out"}) {
    EXPECT_NE(std::string::npos, bsp::test::read_file(out).find("failures=0")) << out;
  }
  const std::string seen = dump();
  EXPECT_NE(std::string::npos, seen.find("@@count 60\n"));
  for (const char *prefix : {"a", "b", "c"}) {
    for (int i = 0; i < 20; ++i) {
      std::string name = prefix + std::to_string(i), text = name + "-payload", hex;
      for (unsigned char ch : text) {
        char b[3];
        snprintf(b, sizeof b, "%02x", ch);
        hex += b;
      }
      EXPECT_NE(std::string::npos, seen.find("@@piece " + name + " 32 rc=0 " + hex)) << name;
    }
  }
}

TEST_F(StorageProcesses, AProcessStartedEarlierKeepsWhatAnotherCommitted) {
  ASSERT_EQ(0, probe(kLibProbe, {"init", "write", "old", "O", "write", "doomed", "D"}).status);
  // Early starts, then Late writes; Early then reads Late's piece, writes and deletes its own.
  const std::string early = shell_command(kLibProbe, {"init", "signal", "/mnt/ready", "wait", "/mnt/go", "read",
                                                      "late", "4", "write", "early", "EEEE", "delete", "doomed", "1"});
  const std::string late = shell_command(kLoaderProbe, {"wait", "/mnt/ready", "init", "write", "late", "LLLL",
                                                        "signal", "/mnt/go"});
  ASSERT_EQ(0, bsp::test::sh(early + " > /mnt/early.out & " + late + " > /mnt/late.out; wait"));
  const std::string early_out = bsp::test::read_file("/mnt/early.out");
  EXPECT_NE(std::string::npos, early_out.find("@@read late rc=0 LLLL")) << early_out;
  EXPECT_NE(std::string::npos, early_out.find("@@delete doomed rc=0")) << early_out;
  for (const std::string &program : {kLibProbe, kLoaderProbe}) {
    SCOPED_TRACE(program);
    const std::string seen = dump(program);
    EXPECT_NE(std::string::npos, seen.find("@@piece late 32 rc=0 4c4c4c4c")) << seen;
    EXPECT_NE(std::string::npos, seen.find("@@piece early 32 rc=0 45454545")) << seen;
    EXPECT_NE(std::string::npos, seen.find("@@piece old 32 rc=0 4f")) << seen;
    EXPECT_EQ(std::string::npos, seen.find("doomed")) << seen;
  }
}

// Changes a process has not committed yet (a fresh format, a delete without commit) are kept
// when another process committed in the meantime, and so are the other's pieces.
TEST_F(StorageProcesses, UncommittedChangesMergeWithAnotherProcessCommit) {
  // early: init, `first`, then lets late run its commands to the end, then `then`.
  auto race = [](const std::vector<std::string> &first, const std::vector<std::string> &early,
                 const std::vector<std::string> &late) {
    bsp::test::sh("rm -f /mnt/ready /mnt/go");
    std::vector<std::string> e{"init"}, l{"wait", "/mnt/ready", "init"};
    e.insert(e.end(), first.begin(), first.end());
    e.insert(e.end(), {"signal", "/mnt/ready", "wait", "/mnt/go"});
    e.insert(e.end(), early.begin(), early.end());
    l.insert(l.end(), late.begin(), late.end());
    l.insert(l.end(), {"signal", "/mnt/go"});
    return bsp::test::sh(shell_command(kLibProbe, e) + " > /mnt/early.out & " + shell_command(kLoaderProbe, l) +
                         " > /mnt/late.out; wait");
  };
  // Both start on a file of zeros: each has formatted its image in memory only.
  ASSERT_EQ(0, race({}, {"write", "e", "E"}, {"write", "l", "L"}));
  std::string seen = dump();
  EXPECT_NE(std::string::npos, seen.find("@@piece e 32 rc=0 45")) << seen;
  EXPECT_NE(std::string::npos, seen.find("@@piece l 32 rc=0 4c")) << seen;

  ASSERT_EQ(0, race({"delete", "e", "0"}, {"write", "e2", "X"}, {"write", "l2", "M"}));
  seen = dump();
  EXPECT_EQ(std::string::npos, seen.find("@@piece e ")) << seen;
  EXPECT_NE(std::string::npos, seen.find("@@piece e2 32 rc=0 58")) << seen;
  EXPECT_NE(std::string::npos, seen.find("@@piece l 32 rc=0 4c")) << seen;
  EXPECT_NE(std::string::npos, seen.find("@@piece l2 32 rc=0 4d")) << seen;
  EXPECT_NE(std::string::npos, seen.find("@@count 3\n")) << seen;
}

TEST_F(StorageProcesses, LoaderAndLibraryShareTheRecords) {
  EXPECT_EQ("@@init rc=0\n@@write statemach.efs rc=0\n",
            results(probe(kLoaderProbe, {"init", "write", "statemach.efs", "flash:/new.cc"})));
  EXPECT_EQ("@@init rc=0\n@@read statemach.efs rc=0 flash:/new.cc\n",
            results(probe(kLibProbe, {"init", "read", "statemach.efs", "13"})));
  EXPECT_EQ("@@init rc=0\n@@write statemach.efs rc=0\n",
            results(probe(kLibProbe, {"init", "write", "statemach.efs", "flash:/old.cc"})));
  EXPECT_EQ("@@init rc=0\n@@read statemach.efs rc=0 flash:/old.cc\n",
            results(probe(kLoaderProbe, {"init", "read", "statemach.efs", "13"})));
}

}  // namespace
