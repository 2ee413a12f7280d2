// Start-up roots run by the reference host on the sandboxed board.
#include <bsp/board.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <npth.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    struct stat st {};
    ASSERT_EQ(0, stat("/mnt/misc/flashfile", &st));  // the directory was there for it
    EXPECT_EQ(0x480000, st.st_size);
  }
}

TEST(Roots, CompileTimeIsFramedAndBounded) {
  char buf[300];
  memset(buf, '#', sizeof buf);
  char *p = buf;
  BSP_SoCompileTime(&p);
  const char *end = static_cast<const char *>(memchr(buf, '\0', 256));
  ASSERT_NE(nullptr, end) << "terminated within its 256 bytes";
  EXPECT_EQ(std::string(300 - 256, '#'), std::string(buf + 256, buf + 300));
  const std::string a(static_cast<const char *>(buf), end);
  // Build date in the compiler's form (three-letter month, day, year) and hh:mm:ss.
  EXPECT_TRUE(testing::internal::RE::FullMatch(
      a, testing::internal::RE("\r\n Bsp so creation Data : [A-Z][a-z][a-z] [ 1-3][0-9] [0-9]{4}, "
                               "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\r\n")))
      << a;
}

// Runs a root in a new process on an empty board; its exit status tells whether the watchdog
// globals were still clear afterwards.
int watchdog_clear_after(void (*root)()) {
  reset_board();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    root();
    npth_usleep(20 * 1000);  // a thread the root started gets to run before the check
    _exit(watchdog_flag == 0 && g_wdg_fd == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Roots, NoRootStartsTheWatchdogFeeder) {
  EXPECT_EQ(0, watchdog_clear_after(BSP_SoRoot));
  EXPECT_EQ(0, watchdog_clear_after(BSP_SoLumRoot));
  EXPECT_EQ(0, watchdog_clear_after(BSP_SoMonitorRoot));
}

}  // namespace
