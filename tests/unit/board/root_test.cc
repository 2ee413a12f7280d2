// Start-up roots run by the reference host on the sandboxed board.
#include <bsp/board.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/board_fs.h"
#include "support/capture.h"

using namespace bsp::test;

namespace {

const std::string kRecorder = "/tmp/bsp-root-test-bin";
const std::string kRecord = "/tmp/bsp-root-test-mkdir.log";

// A mkdir first in PATH that records its arguments, then does the real work.
void install_recording_mkdir() {
  sh("mkdir -p " + kRecorder);
  write_file(kRecorder + "/mkdir",
             "#!/bin/sh\necho \"mkdir $*\" >> " + kRecord + "\nexec /bin/mkdir \"$@\"\n");
  sh("chmod 755 " + kRecorder + "/mkdir");
}

ProcessResult run_root(const std::string &process) {
  return run_process({"env", "PATH=" + kRecorder + ":" + getenv("PATH"), bsp_shell_path(), "--process", process});
}

std::string stamp() {
  char buf[256] = {0};
  char *p = buf;
  BSP_SoCompileTime(&p);
  return buf;
}

TEST(Roots, BannersAndTheMiscDirectory) {
  install_recording_mkdir();
  const std::string build = stamp();  // "\r\n Bsp so creation Data : <date>, <time>\r\n"
  ASSERT_EQ(0u, build.rfind("\r\n Bsp so creation Data : ", 0));
  const std::string date_time = build.substr(build.find(": ") + 2);

  struct Case {
    const char *process;
    const char *word;
    bool misc_present;
    bool runs_mkdir;
  } cases[] = {
      {"main", "Qor", false, true},     {"main", "Qor", true, false},
      {"lum", "Lum", false, true},      {"lum", "Lum", true, true},
      {"monitor", "Monitor", false, true}, {"monitor", "Monitor", true, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.process) + (c.misc_present ? " with /mnt/misc" : " without /mnt/misc"));
    reset_board();
    unlink(kRecord.c_str());
    if (c.misc_present) sh("/bin/mkdir /mnt/misc");
    ProcessResult r = run_root(c.process);
    ASSERT_EQ(0, r.status) << r.err;
    const std::string banner = std::string("\r\n ") + c.word + " Bsp so creation Data : " + date_time;
    EXPECT_EQ(0u, r.out.rfind(banner, 0)) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\r\n FLASH_CreateFlashFile /mnt/misc/flashfile\r\n"));
    std::string record = read_file(kRecord);
    EXPECT_EQ(c.runs_mkdir ? "mkdir /mnt/misc\n" : "", record);
    EXPECT_TRUE(file_exists("/mnt/misc"));
  }
}

TEST(Roots, CompileTimeIsFramedAndStable) {
  std::string a = stamp();
  ASSERT_GE(a.size(), 4u);
  EXPECT_EQ("\r\n", a.substr(0, 2));
  EXPECT_EQ("\r\n", a.substr(a.size() - 2));
  EXPECT_EQ(a, stamp());
  // Build date in the compiler's form (three-letter month, day, year) and hh:mm:ss.
  EXPECT_TRUE(testing::internal::RE::FullMatch(
      a, testing::internal::RE("\r\n Bsp so creation Data : [A-Z][a-z][a-z] [ 1-3][0-9] [0-9]{4}, "
                               "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\r\n")))
      << a;
  BSP_SoCompileTime(nullptr);  // no buffer: nothing to write
}

TEST(Roots, WatchdogStateStartsClear) {
  EXPECT_EQ(0u, watchdog_flag);
  EXPECT_EQ(0, g_wdg_fd);
}

}  // namespace
