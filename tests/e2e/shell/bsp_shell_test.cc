// The reference host's debug shell end to end: command lines from arguments, from a pipe and
// typed on a terminal with completion and history, and beside its watchdog feeder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/board_fs.h"
#include "support/capture.h"

namespace {

using bsp::test::bsp_shell_path;
using bsp::test::run_process;

std::string pad26(const std::string &word) { return word + std::string(26 - word.size(), ' '); }

const std::string kHelp = "  " + pad26("bsp") + "<Group> (null)\r\n  " + pad26("display") + "<Group> (null)\r\n  " +
                          pad26("clear") + "<Group> (null)\r\n  " + pad26("test") + "<Group> (null)\r\n  " +
                          pad26("help") + "Obtain help for driver commands\r\n\r\n";

std::vector<std::string> shell_with(std::initializer_list<const char *> lines) {
  std::vector<std::string> argv{bsp_shell_path()};
  for (const char *l : lines) {
    argv.emplace_back("-c");
    argv.emplace_back(l);
  }
  return argv;
}

TEST(BspShell, CommandLinesShowWhatTheHostSees) {
  bsp::test::reset_board();
  auto r = run_process(shell_with({"help", "bsp show load state 0 0", "bsp show pieces"}));
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find(kHelp)) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("************** Current Startup info ****************")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("MainArea")) << r.out;
}

TEST(BspShell, ExitStatusReflectsTheResult) {
  struct {
    std::vector<std::string> argv;
    int status;
    const char *shown;
  } cases[] = {
      {shell_with({"bsp"}), 254, "\r\n  Error: Incomplete command\r\n\r\n"},
      {shell_with({"nothing"}), 255, "\r\n  Error: Unrecognized command: \"nothing\"\r\n\r\n"},
      {shell_with({"bsp show proc info 7"}), 1, "\r\nInfo: Input para error, please check!\r\n"},
      {shell_with({"bsp show version 1", "help"}), 254, "\r\n  Error: Too many parameters\r\n\r\n"},
      {shell_with({"", "  "}), 253, ""},
      {shell_with({"help bsp"}), 0, "  pieces"},
  };
  for (const auto &c : cases) {
    auto r = run_process(c.argv);
    EXPECT_EQ(c.status, r.status) << c.argv[2] << r.err;
    EXPECT_NE(std::string::npos, r.out.find(c.shown)) << c.argv[2] << ": " << r.out;
  }
}

// A kernel file of line feeds alone prints twice its size: more than the capture holds.
TEST(BspShell, SaysWhenTheCaptureOverflowed) {
  auto r = run_process(shell_with({"help"}));
  EXPECT_EQ(std::string::npos, r.err.find("print buffer is full")) << r.err;

  bsp::test::write_file("/mnt/feeds", std::string(4000, '\n'));
  ASSERT_EQ(0, bsp::test::sh("mount --bind /mnt/feeds /proc/cmdline"));
  r = run_process(shell_with({"bsp show proc info 0"}));
  bsp::test::sh("umount /proc/cmdline");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("print buffer is full")) << r.err;
  std::string shown;
  for (int i = 0; i < 2048; ++i) shown += "\r\n";
  ASSERT_GE(r.out.size(), shown.size());
  EXPECT_EQ(shown, r.out.substr(r.out.size() - shown.size()));
}

TEST(BspShell, LinesFromAPipeUntilExit) {
  auto r = run_process({bsp_shell_path()}, "help\r\nbsp show pieces 1\nexit\nbsp\n");
  EXPECT_EQ(254, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find(kHelp)) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("Too many parameters")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("Incomplete command")) << r.out;
}

// Drives the interactive shell through a pseudo-terminal.
class Terminal {
 public:
  Terminal() : Terminal(bsp::test::with_emulator({bsp_shell_path()})) {}
  explicit Terminal(std::vector<std::string> argv) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      std::vector<char *> args;
      for (auto &a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  bool started() const { return pid_ > 0 && master_ >= 0; }

  void type(const std::string &keys) { ASSERT_EQ(static_cast<ssize_t>(keys.size()), write(master_, keys.data(), keys.size())); }

  // Reads until text appears after what earlier waits consumed; false when it never does.
  bool wait_for(const std::string &text) {
    const time_t deadline = time(nullptr) + 60;  // a hang guard, not a speed check
    for (;;) {
      size_t at = seen_.find(text, consumed_);
      if (at != std::string::npos) {
        consumed_ = at + text.size();
        return true;
      }
      if (time(nullptr) > deadline) return false;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 500) <= 0) continue;
      char buf[4096];
      ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) return false;
      seen_.append(buf, static_cast<size_t>(n));
    }
  }

  int wait_exit() {
    int status = 0;
    for (int i = 0; i < 600; ++i) {
      pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      char buf[4096];
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) > 0 && read(master_, buf, sizeof buf) > 0) continue;
      usleep(100 * 1000);  // the terminal has hung up: the shell is on its way out
    }
    return -2;
  }

  const std::string &seen() const { return seen_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::string seen_;
  size_t consumed_ = 0;
};

TEST(BspShell, InteractiveEditingCompletionAndHistory) {
  Terminal term;
  ASSERT_TRUE(term.started());
  ASSERT_TRUE(term.wait_for("bsp> ")) << term.seen();

  term.type("hel\t");
  ASSERT_TRUE(term.wait_for("bsp> help ")) << term.seen();
  term.type("\r");
  ASSERT_TRUE(term.wait_for("Obtain help for driver commands")) << term.seen();
  ASSERT_TRUE(term.wait_for("bsp> ")) << term.seen();

  term.type("bsp sh\t");
  ASSERT_TRUE(term.wait_for("bsp> bsp show ")) << term.seen();
  term.type("\t");  // several words fit: they are listed
  ASSERT_TRUE(term.wait_for("pieces  proc  version  load")) << term.seen();
  term.type("lo\tst\t0 0\r");
  ASSERT_TRUE(term.wait_for("bsp> bsp show load state 0 0")) << term.seen();
  ASSERT_TRUE(term.wait_for("Current Startup info")) << term.seen();
  ASSERT_TRUE(term.wait_for("bsp> ")) << term.seen();

  // Editing: a typo fixed with the cursor keys and backspace.
  term.type("help bsq\x7fp\x1b[D\x1b[D\x1b[C\x1b[C\r");
  ASSERT_TRUE(term.wait_for("<Group> (null)")) << term.seen();
  ASSERT_TRUE(term.wait_for("bsp> ")) << term.seen();

  // History: the previous line again.
  term.type("\x1b[A\x1b[A\r");
  ASSERT_TRUE(term.wait_for("Current Startup info")) << term.seen();
  ASSERT_TRUE(term.wait_for("bsp> ")) << term.seen();

  term.type("\x04");
  EXPECT_EQ(0, term.wait_exit()) << term.seen();
}

// bsp-shell with the watchdog device double preloaded: the feeder talks to it, never to a
// real watchdog.
std::vector<std::string> shell_with_watchdog_double(const std::string &log, std::vector<std::string> args) {
  const char *preload = getenv("BSP_DEVDOUBLE");
  std::string lib = preload != nullptr ? preload : "";
  std::vector<std::string> argv;
  const char *emulator = getenv("BSP_EMULATOR");
  if (emulator != nullptr && *emulator != '\0') {
    argv = {emulator, "-E", "LD_PRELOAD=" + lib, "-E", "BSP_DD_LOG=" + log};
  } else {
    argv = {"env", "LD_PRELOAD=" + lib, "BSP_DD_LOG=" + log};
  }
  argv.push_back(bsp_shell_path());
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

// The feeder runs on one of the host's nPth threads; while it waits between pings the shell's
// thread must get to run its command line (which itself waits through nPth) and exit.
TEST(BspShell, WatchdogFeederLeavesTheShellRunning) {
  ASSERT_NE(nullptr, getenv("BSP_DEVDOUBLE")) << "needs the device double";
  bsp::test::reset_board();
  // Should the double not load, the feeder must still not reach a real device.
  if (access("/dev/watchdog", F_OK) == 0) {
    ASSERT_EQ(0, bsp::test::sh("mount --bind /dev/null /dev/watchdog"));
  }
  const std::string log = "/tmp/bsp-shell-watchdog-feeder.log";
  unlink(log.c_str());
  bsp::test::write_file("/mnt/cmdline", "BOOT_IMAGE=/boot_A/bzImage quiet\n");
  ASSERT_EQ(0, bsp::test::sh("mount --bind /mnt/cmdline /proc/cmdline"));
  int status;
  std::string seen;
  {
    Terminal term(shell_with_watchdog_double(log, {"--watchdog", "-c", "bsp show proc info 0"}));
    ASSERT_TRUE(term.started());
    // A frozen shell never shows the line; then there is no exit to wait for either.
    status = term.wait_for("BOOT_IMAGE=/boot_A/bzImage quiet") ? term.wait_exit() : -3;
    seen = term.seen();
  }
  bsp::test::sh("umount /proc/cmdline");
  EXPECT_EQ(0, status) << seen;
  EXPECT_NE(std::string::npos, seen.find("BOOT_IMAGE=/boot_A/bzImage quiet")) << seen;
  // The feeder ran beside the command: enabled the device and pinged it.
  EXPECT_EQ(0u, bsp::test::read_file(log).rfind(
                    "open /dev/watchdog 2\nioctl 80045704 *2\nioctl c0045706 *10\nioctl 80045705 0\n", 0))
      << bsp::test::read_file(log);
}

}  // namespace
