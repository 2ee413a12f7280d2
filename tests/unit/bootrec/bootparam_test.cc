// The library's checksummed view of the boot information and search-packet records.
#include <bsp/bootparam.h>
#include <bsp/pieces.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>

#include "bootrec_env.h"
#include "support/capture.h"

namespace bootrec_test {
namespace {

using Words = std::array<uint32_t, 4>;  // checksum, then the three values

uint32_t seal(uint32_t a, uint32_t b, uint32_t c) { return ~(a + b + c); }
Words valid(uint32_t a, uint32_t b, uint32_t c) { return {seal(a, b, c), a, b, c}; }

// The host's two records, pointed at for the length of one test.
class BootParam : public ::testing::Test {
 protected:
  void SetUp() override {
    start_storage();
    memset(&info_, 0, sizeof info_);
    memset(&log_, 0, sizeof log_);
    g_pstBootParaFlag = &info_;
    g_u32SearchPktCnt = &log_;
  }
  void TearDown() override {
    g_pstBootParaFlag = nullptr;
    g_u32SearchPktCnt = nullptr;
  }
  void set_info(Words w) { memcpy(&info_, w.data(), sizeof info_); }
  void set_log(Words w) { memcpy(&log_, w.data(), sizeof log_); }
  Words info() const {
    Words w;
    memcpy(w.data(), &info_, sizeof info_);
    return w;
  }
  Words log() const {
    Words w;
    memcpy(w.data(), &log_, sizeof log_);
    return w;
  }

  BOOTINFO info_;
  SearchPktLog log_;
};

TEST_F(BootParam, ValidationKeepsAGoodRecordAndResetsABadOne) {
  struct Case {
    const char *what;
    Words before;
    Words after;
  };
  const Case cases[] = {
      {"all zero", {0, 0, 0, 0}, {0xFFFFFFFF, 0, 0, 0}},
      {"valid", valid(3, 1, 7), valid(3, 1, 7)},
      {"valid with wrap-around", valid(0xFFFFFFFF, 2, 0x80000000), valid(0xFFFFFFFF, 2, 0x80000000)},
      {"checksum off by one", {seal(3, 1, 7) + 1, 3, 1, 7}, {0xFFFFFFFF, 0, 0, 0}},
      {"value changed behind the checksum", {seal(3, 1, 7), 4, 1, 7}, {0xFFFFFFFF, 0, 0, 0}},
      {"plain sum instead of its complement", {3 + 1 + 7, 3, 1, 7}, {0xFFFFFFFF, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    set_info(c.before);
    BSP_CheckBootinfo();
    EXPECT_EQ(info(), c.after) << c.what;
    set_log(c.before);
    BSP_CheckSearchPktLog();
    EXPECT_EQ(log(), c.after) << c.what;
  }
}

TEST_F(BootParam, ResealRecomputesOnlyTheChecksum) {
  set_info({0x1234, 5, 6, 7});
  BSP_SetBootinfoCheckSum();
  EXPECT_EQ(info(), valid(5, 6, 7));
  set_log({0x1234, 8, 9, 10});
  BSP_SetSearchPktLogCheckSum();
  EXPECT_EQ(log(), valid(8, 9, 10));
}

TEST_F(BootParam, GetLoadFailTimesOnAnEmptyRecord) {
  EXPECT_EQ(BSP_GetLoadFailTimes(), 0u);
  EXPECT_EQ(info(), (Words{0xFFFFFFFF, 0, 0, 0}));
}

TEST_F(BootParam, WritersValidateFirstAndLeaveAValidRecord) {
  struct Case {
    const char *what;
    Words before;
    void (*op)();
    Words after;
  };
  const Case cases[] = {
      {"rollback flag 5 stores 1", valid(2, 0, 9), [] { BSP_SetRollbackFlag(5); }, valid(2, 1, 9)},
      {"rollback flag 0", valid(2, 1, 9), [] { BSP_SetRollbackFlag(0); }, valid(2, 0, 9)},
      {"rollback reason", valid(2, 1, 9), [] { BSP_SetRollbackReason(7); }, valid(2, 1, 7)},
      {"clear rollback", valid(2, 1, 9), [] { BSP_ClearRollback(); }, valid(2, 0, 9)},
      {"clear count, not search", valid(2, 1, 9), [] { BSP_ClearLoadFailTimesNotSearch(); }, valid(0, 1, 9)},
      {"reason into a bad record", {0, 2, 1, 9}, [] { BSP_SetRollbackReason(7); }, valid(0, 0, 7)},
      {"flag into a bad record", {0, 2, 1, 9}, [] { BSP_SetRollbackFlag(1); }, valid(0, 1, 0)},
  };
  for (const Case &c : cases) {
    set_info(c.before);
    set_log(valid(4, 0, 0));
    c.op();
    EXPECT_EQ(info(), c.after) << c.what;
    EXPECT_EQ(log(), valid(4, 0, 0)) << c.what;
  }
}

TEST_F(BootParam, ReasonThenGetBootinfo) {
  BSP_SetRollbackReason(7);
  BOOTINFO out;
  memset(&out, 0xEE, sizeof out);
  EXPECT_EQ(BSP_GetBootinfo(&out), 0u);
  EXPECT_EQ(out.u32RollbackReason, 7u);
  EXPECT_EQ(out.u32Checksum, seal(out.u32LoadFailTimes, out.u32HasRollback, out.u32RollbackReason));
  EXPECT_EQ(BSP_GetBootinfo(nullptr), 1u);
}

TEST_F(BootParam, ClearLoadFailTimesAlsoClearsTheSearchIndex) {
  set_info(valid(3, 1, 2));
  set_log(valid(6, 11, 12));
  EXPECT_EQ(BSP_ClearLoadFailTimes(), 0u);
  EXPECT_EQ(info(), valid(0, 1, 2));
  EXPECT_EQ(log(), valid(0, 11, 12));
}

TEST_F(BootParam, IncrLoadFailTimesChangesNothing) {
  for (Words w : {Words{0, 0, 0, 0}, valid(3, 1, 2), Words{1, 2, 3, 4}}) {
    set_info(w);
    EXPECT_EQ(BSP_IncrLoadFailTimes(), 0u);
    EXPECT_EQ(info(), w);
  }
}

TEST_F(BootParam, SearchCount) {
  BSP_SetSearchPktCnt(4);
  EXPECT_EQ(log(), valid(4, 0, 0));
  EXPECT_EQ(BSP_GetSearchPktCnt(), 4u);
  // Written the loader's way, without fixing the checksum: the next read resets it.
  log_.u32SearchCnt = 5;
  EXPECT_EQ(BSP_GetSearchPktCnt(), 0u);
  EXPECT_EQ(log(), (Words{0xFFFFFFFF, 0, 0, 0}));
  BSP_SetSearchPktCnt(9);
  EXPECT_EQ(BSP_ClearSearchPktCnt(), 0u);
  EXPECT_EQ(log(), valid(0, 0, 0));
}

TEST_F(BootParam, PrintBootInfo) {
  set_info(valid(0x12, 1, 0xAB));
  std::string out = bsp::test::capture_stdout([] { BSP_PrintBootInfo(); });
  EXPECT_EQ(out, "\r\nu32LoadFailTimes: 0x12\r\nu32HasRollback: 0x1\r\nu32RollbackReason: 0xab\r\n");
}

TEST_F(BootParam, RollbackRecordRoundTrip) {
  char name[] = "bootrec.rollback";
  BSP_VfsPiecesFileDelete(name, 1);
  // The record is saved as it stands, without validation.
  set_info({1, 2, 3, 4});
  EXPECT_EQ(BSP_RollBackRecordWrite(reinterpret_cast<signed char *>(name)), 0u);
  EXPECT_EQ(info(), (Words{1, 2, 3, 4}));
  BOOTINFO back;
  memset(&back, 0xEE, sizeof back);
  EXPECT_EQ(BSP_RollBackRecordRead(reinterpret_cast<signed char *>(name), &back), 0u);
  EXPECT_EQ(memcmp(&back, &info_, sizeof back), 0);
  BSP_VfsPiecesFileDelete(name, 1);
}

TEST_F(BootParam, RollbackRecordReadOfAMissingPieceGivesZeros) {
  char name[] = "bootrec.none";
  BSP_VfsPiecesFileDelete(name, 1);
  BOOTINFO back;
  memset(&back, 0xEE, sizeof back);
  EXPECT_EQ(BSP_RollBackRecordRead(reinterpret_cast<signed char *>(name), &back), 0x810401ABu);
  const BOOTINFO zero = {};
  EXPECT_EQ(memcmp(&back, &zero, sizeof back), 0);
  EXPECT_EQ(BSP_RollBackRecordRead(reinterpret_cast<signed char *>(name), nullptr), 1u);
}

TEST_F(BootParam, ParameterMemoryAddress) {
  EXPECT_EQ(BSP_getParaAddr(0x1000), 0x1000);
  EXPECT_EQ(BSP_getParaAddr(0), 0);
  EXPECT_EQ(BSP_getParaAddr(0x3004), 0x3004);
}

#if defined(__i386__) || defined(__x86_64__)
// A process whose page of records is read-only traps at every store into it; the trap lets the
// other process look at the records (and validate them) before that store goes on, then steps the
// store alone and traps again. So the other process sees every state the records pass through.
namespace step {

constexpr unsigned long kTrapFlag = 0x100;
int g_to_other = -1, g_from_other = -1;
uint8_t *g_page = nullptr;
size_t g_page_size = 0;

void on_store(int, siginfo_t *info, void *context) {
  auto *at = static_cast<uint8_t *>(info->si_addr);
  if (at < g_page || at >= g_page + g_page_size) {
    signal(SIGSEGV, SIG_DFL);  // a real fault: let it end the process
    return;
  }
  char c = 's';
  if (write(g_to_other, &c, 1) != 1 || read(g_from_other, &c, 1) != 1) _exit(3);
  mprotect(g_page, g_page_size, PROT_READ | PROT_WRITE);
  static_cast<ucontext_t *>(context)->uc_mcontext.gregs[REG_EFL] |= kTrapFlag;
}

void after_store(int, siginfo_t *, void *context) {
  mprotect(g_page, g_page_size, PROT_READ);
  static_cast<ucontext_t *>(context)->uc_mcontext.gregs[REG_EFL] &= ~kTrapFlag;
}

}  // namespace step

Words words_at(const uint8_t *p) {
  Words w;
  memcpy(w.data(), p, sizeof w);
  return w;
}
bool sealed(const Words &w) { return w[0] == seal(w[1], w[2], w[3]); }

// Another process that validates the records while this one changes them never sees a record
// half changed, so it never resets one and no flag, reason or count is lost.
TEST_F(BootParam, AnotherProcessNeverSeesARecordHalfChanged) {
  const size_t page_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto *page = static_cast<uint8_t *>(mmap(nullptr, page_size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(page, MAP_FAILED);
  uint8_t *info_at = page + 0x40, *log_at = page + 0x80;
  const Words info_start = valid(3, 0, 0), log_start = valid(6, 11, 12);
  memcpy(info_at, info_start.data(), 16);
  memcpy(log_at, log_start.data(), 16);
  int to_parent[2], to_child[2];
  ASSERT_EQ(pipe(to_parent), 0);
  ASSERT_EQ(pipe(to_child), 0);
  fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(to_parent[0]);
    close(to_child[1]);
    step::g_to_other = to_parent[1];
    step::g_from_other = to_child[0];
    step::g_page = page;
    step::g_page_size = page_size;
    struct sigaction sa = {};
    sa.sa_flags = SA_SIGINFO;
    sa.sa_sigaction = step::on_store;
    sigaction(SIGSEGV, &sa, nullptr);
    sa.sa_sigaction = step::after_store;
    sigaction(SIGTRAP, &sa, nullptr);
    g_pstBootParaFlag = reinterpret_cast<BOOTINFO *>(info_at);
    g_u32SearchPktCnt = reinterpret_cast<SearchPktLog *>(log_at);
    mprotect(page, page_size, PROT_READ);
    BSP_SetRollbackFlag(1);
    BSP_SetRollbackReason(7);
    BSP_SetSearchPktCnt(5);
    BSP_ClearLoadFailTimesNotSearch();
    _exit(0);
  }
  close(to_parent[1]);
  close(to_child[0]);
  g_pstBootParaFlag = reinterpret_cast<BOOTINFO *>(info_at);
  g_u32SearchPktCnt = reinterpret_cast<SearchPktLog *>(log_at);
  int stores = 0;
  char c;
  while (read(to_parent[0], &c, 1) == 1) {
    ++stores;
    EXPECT_TRUE(sealed(words_at(info_at))) << "before store " << stores;
    EXPECT_TRUE(sealed(words_at(log_at))) << "before store " << stores;
    BSP_CheckBootinfo();
    BSP_CheckSearchPktLog();
    ASSERT_EQ(write(to_child[1], &c, 1), 1);
  }
  close(to_parent[0]);
  close(to_child[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GE(stores, 4);  // each of the four changes reached the shared records
  EXPECT_EQ(words_at(info_at), valid(0, 1, 7));
  EXPECT_EQ(words_at(log_at), valid(5, 11, 12));
  munmap(page, page_size);
}
#endif

// A host that never set its pointers: no crash, the answers of an empty record, no change.
TEST_F(BootParam, UnsetPointersAnswerAsAnEmptyRecord) {
  g_pstBootParaFlag = nullptr;
  g_u32SearchPktCnt = nullptr;
  BSP_CheckBootinfo();
  BSP_SetBootinfoCheckSum();
  BSP_CheckSearchPktLog();
  BSP_SetSearchPktLogCheckSum();
  EXPECT_EQ(BSP_ClearLoadFailTimes(), 0u);
  EXPECT_EQ(BSP_ClearLoadFailTimesNotSearch(), 0u);
  EXPECT_EQ(BSP_IncrLoadFailTimes(), 0u);
  EXPECT_EQ(BSP_ClearRollback(), 0u);
  EXPECT_EQ(BSP_SetRollbackFlag(1), 0u);
  EXPECT_EQ(BSP_SetRollbackReason(7), 0u);
  BSP_SetSearchPktCnt(3);
  EXPECT_EQ(BSP_ClearSearchPktCnt(), 0u);
  EXPECT_EQ(BSP_GetLoadFailTimes(), 0u);
  EXPECT_EQ(BSP_GetSearchPktCnt(), 0u);
  BOOTINFO out;
  memset(&out, 0xEE, sizeof out);
  EXPECT_EQ(BSP_GetBootinfo(&out), 0u);
  EXPECT_EQ(out.u32Checksum, 0xFFFFFFFFu);
  EXPECT_EQ(out.u32LoadFailTimes, 0u);
  EXPECT_EQ(out.u32HasRollback, 0u);
  EXPECT_EQ(out.u32RollbackReason, 0u);
  std::string printed = bsp::test::capture_stdout([] { BSP_PrintBootInfo(); });
  EXPECT_EQ(printed, "\r\nu32LoadFailTimes: 0x0\r\nu32HasRollback: 0x0\r\nu32RollbackReason: 0x0\r\n");
  // Nothing to save: the rollback record is refused rather than overwritten with zeros.
  char name[] = "bootrec.unset";
  EXPECT_EQ(BSP_RollBackRecordWrite(reinterpret_cast<signed char *>(name)), 1u);
  BOOTINFO back;
  EXPECT_NE(BSP_RollBackRecordRead(reinterpret_cast<signed char *>(name), &back), 0u);
  // The host's storage, never pointed at, is untouched.
  EXPECT_EQ(info(), (Words{0, 0, 0, 0}));
  EXPECT_EQ(log(), (Words{0, 0, 0, 0}));
}

}  // namespace
}  // namespace bootrec_test
