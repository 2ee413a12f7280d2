// The bounded-function failure log: judgement table, entry limit, display, self-tests and
// failures arriving from several threads at once.
#include <bsp/board.h>
#include <bsp/boundc.h>
#include <bsp/seclog.h>
#include <gtest/gtest.h>
#include <npth.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/capture.h"

namespace {

std::vector<std::string> entries() {
  std::vector<std::string> out;
  for (int i = 0; i < cSecLogNum; ++i) out.emplace_back(cSecLogBuf[i]);
  return out;
}

class SecLog : public ::testing::Test {
 protected:
  void SetUp() override { Clear_SecLog(); }
  void TearDown() override { Clear_SecLog(); }
};

struct Row {
  const char *name;
  int value;
  int flag;
};

const Row kRows[] = {
    {"memset_s", 0, 1},     {"memcpy_s", 0, 1},     {"strcpy_s", 0, 1},     {"strncpy_s", 0, 1},
    {"memmove_s", 0, 1},    {"fscanf_s", -1, 0},    {"sprintf_s", -1, 0},   {"snprintf_s", -1, 0},
    {"vsnprintf_s", -1, 0}, {"strcat_s", 0, 1},     {"sscanf_s", -1, 0},    {"strncat_s", 0, 1},
    {"fwscanf_s", -1, 0},   {"scanf_s", -1, 0},     {"swprintf_s", -1, 0},  {"swscanf_s", -1, 0},
    {"vfscanf_s", -1, 0},   {"vfwscanf_s", -1, 0},  {"vscanf_s", -1, 0},    {"vsprintf_s", -1, 0},
    {"vsscanf_s", -1, 0},   {"vswprintf_s", -1, 0}, {"vswscanf_s", -1, 0},  {"vwscanf_s", -1, 0},
    {"wcscat_s", 0, 1},     {"wcscpy_s", 0, 1},     {"wcsncat_s", 0, 1},    {"wcsncpy_s", 0, 1},
    {"wmemcpy_s", 0, 1},    {"wmemmove_s", 0, 1},   {"wscanf_s", -1, 0},
};

TEST_F(SecLog, JudgementTableRows) {
  ASSERT_EQ(31u, std::size(kRows));
  for (int i = 0; i < SECLOG_MAP_ROWS; ++i) {
    SCOPED_TRACE(i);
    if (i < 31) {
      EXPECT_STREQ(kRows[i].name, g_secmap[i].name);
      EXPECT_EQ(kRows[i].value, g_secmap[i].value);
      EXPECT_EQ(kRows[i].flag, g_secmap[i].flag);
    } else {
      EXPECT_STREQ("", g_secmap[i].name);
      EXPECT_EQ(0, g_secmap[i].value);
      EXPECT_EQ(0, g_secmap[i].flag);
    }
  }
  EXPECT_EQ(16384u, sizeof cSecLogBuf);
  EXPECT_EQ(72u, sizeof(t_sec_map));
}

TEST_F(SecLog, EveryFunctionJudgedByItsFailureResult) {
  for (const Row &row : kRows) {
    // Memory and string functions fail on anything but 0; formatted ones only on -1.
    const int results[] = {0, -1, 4, 150, 162};
    for (int value : results) {
      SCOPED_TRACE(std::string(row.name) + " " + std::to_string(value));
      Clear_SecLog();
      DRV_SecJudge(value, const_cast<char *>(row.name), const_cast<char *>("caller.cc"), 77);
      bool failure = row.flag == 1 ? value != 0 : value == -1;
      if (failure) {
        ASSERT_EQ(1, cSecLogNum);
        EXPECT_EQ(std::string(row.name) + " err, ret:" + std::to_string(value) +
                      ", file is caller.cc, line is 77\r\n",
                  cSecLogBuf[0]);
      } else {
        EXPECT_EQ(0, cSecLogNum);
        EXPECT_STREQ("", cSecLogBuf[0]);
      }
    }
  }
}

TEST_F(SecLog, RealFailureJudged) {
  char dest[10];
  char src[11] = "0123456789";
  int r = memcpy_s(dest, sizeof dest, src, sizeof src);
  DRV_SecJudge(r, const_cast<char *>("memcpy_s"), const_cast<char *>("flash/front.cc"), 1234);
  r = sprintf_s(dest, sizeof dest, "%s", "hello");
  DRV_SecJudge(r, const_cast<char *>("sprintf_s"), const_cast<char *>("x.cc"), 1);
  r = sprintf_s(dest, 4, "%s", "hello");
  DRV_SecJudge(r, const_cast<char *>("sprintf_s"), const_cast<char *>("x.cc"), 2);
  EXPECT_EQ((std::vector<std::string>{"memcpy_s err, ret:162, file is flash/front.cc, line is 1234\r\n",
                                      "sprintf_s err, ret:-1, file is x.cc, line is 2\r\n"}),
            entries());
}

TEST_F(SecLog, UnknownNamesAreLoggedWhateverTheResult) {
  DRV_SecJudge(0, const_cast<char *>("strcpy"), const_cast<char *>("a.cc"), 1);
  DRV_SecJudge(-1, const_cast<char *>("MEMCPY_S"), const_cast<char *>("a.cc"), 2);
  DRV_SecJudge(0, const_cast<char *>("memcpy_s "), const_cast<char *>("a.cc"), 3);
  DRV_SecJudge(0, nullptr, const_cast<char *>("a.cc"), 4);
  EXPECT_EQ((std::vector<std::string>{"This func name: strcpy seclog do not support.\r\n",
                                      "This func name: MEMCPY_S seclog do not support.\r\n",
                                      "This func name: memcpy_s  seclog do not support.\r\n",
                                      "This func name: (null) seclog do not support.\r\n"}),
            entries());
}

TEST_F(SecLog, A33rdFailureIsDroppedUntilCleared) {
  for (int i = 0; i < 40; ++i)
    DRV_SecJudge(162, const_cast<char *>("memcpy_s"), const_cast<char *>("f.cc"), static_cast<unsigned>(i));
  ASSERT_EQ(32, cSecLogNum);
  EXPECT_STREQ("memcpy_s err, ret:162, file is f.cc, line is 31\r\n", cSecLogBuf[31]);
  Clear_SecLog();
  EXPECT_EQ(0, cSecLogNum);
  for (size_t i = 0; i < sizeof cSecLogBuf; ++i) ASSERT_EQ(0, (&cSecLogBuf[0][0])[i]) << i;
  DRV_SecJudge(34, const_cast<char *>("strcat_s"), const_cast<char *>("g.cc"), 5);
  EXPECT_EQ((std::vector<std::string>{"strcat_s err, ret:34, file is g.cc, line is 5\r\n"}), entries());
}

TEST_F(SecLog, LineTooLongIsReportedAndNotCounted) {
  std::string fits(511, 'x'), too_long(512, 'y');
  std::string out = bsp::test::capture_stdout([&] { DRV_SecLogPrintf("%s", fits.c_str()); });
  EXPECT_EQ("", out);
  EXPECT_EQ(std::vector<std::string>{fits}, entries());
  out = bsp::test::capture_stdout([&] { DRV_SecLogPrintf("%s", too_long.c_str()); });
  EXPECT_EQ("\r\nBoundc log printf invalid\r\n", out);
  EXPECT_EQ(std::vector<std::string>{fits}, entries());
  EXPECT_STREQ("", cSecLogBuf[1]);
  // With the log full, even a bad line is dropped silently.
  for (int i = 0; i < 40; ++i) DRV_SecLogPrintf("line %d\r\n", i);
  ASSERT_EQ(32, cSecLogNum);
  out = bsp::test::capture_stdout([&] { DRV_SecLogPrintf("%s", too_long.c_str()); });
  EXPECT_EQ("", out);
}

TEST_F(SecLog, DisplayEmptyAndAfterSelfTests) {
  EXPECT_EQ("no boundc log!\r\n", bsp::test::capture_stdout(Display_SecLog));
  Test_SecJudge();
  std::string out = bsp::test::capture_stdout(Display_SecLog);
  EXPECT_TRUE(std::regex_match(out, std::regex("cSecLogNum:1\r\nmemset_s err, ret:162, file is [^,]+, line is [0-9]+\r\n")))
      << out;
  Clear_SecLog();
  Test_Boundc();
  out = bsp::test::capture_stdout(Display_SecLog);
  EXPECT_TRUE(std::regex_match(out, std::regex("cSecLogNum:1\r\nmemset_s err, ret:162, file is [^,]+, line is [0-9]+\r\n")))
      << out;
  Clear_SecLog();
  EXPECT_EQ("no boundc log!\r\n", bsp::test::capture_stdout(Display_SecLog));
}

TEST_F(SecLog, DisplayListsEntriesInOrder) {
  DRV_SecLogPrintf("first %d\r\n", 1);
  DRV_SecLogPrintf("second %s\r\n", "two");
  DRV_SecLogPrintf("%s", "100%\r\n");
  EXPECT_EQ("cSecLogNum:3\r\nfirst 1\r\nsecond two\r\n100%\r\n", bsp::test::capture_stdout(Display_SecLog));
}

TEST_F(SecLog, BuildStampPrintIsJudgedAndPasses) {
  char buf[256];
  memset(buf, '#', sizeof buf);
  char *p = buf;
  BSP_SoCompileTime(&p);
  EXPECT_TRUE(std::regex_match(std::string(buf), std::regex("\r\n Bsp so creation Data : [A-Z][a-z]{2} [ 0-9][0-9] "
                                                             "[0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n")))
      << buf;
  EXPECT_EQ(0, cSecLogNum);
}

// ---- several threads failing at once ----

struct Worker {
  int id;
  int failures;
  bool npth;
};

void *fail_repeatedly(void *p) {
  auto *w = static_cast<Worker *>(p);
  char file[32];
  snprintf(file, sizeof file, "thread%d.cc", w->id);
  for (int i = 0; i < w->failures; ++i) {
    DRV_SecJudge(182, const_cast<char *>("memmove_s"), file, static_cast<unsigned>(i));
    if (w->npth && i % 3 == 0) npth_usleep(100);
  }
  return nullptr;
}

// Every stored line is whole, none appears twice and, while the log has room, none is lost.
void check_concurrent_log(int threads, int each) {
  const int total = threads * each;
  ASSERT_EQ(total < 32 ? total : 32, cSecLogNum);
  std::set<std::string> seen;
  std::regex line("memmove_s err, ret:182, file is thread([0-9]+)\\.cc, line is ([0-9]+)\r\n");
  for (int i = 0; i < cSecLogNum; ++i) {
    std::smatch m;
    std::string s(cSecLogBuf[i]);
    ASSERT_TRUE(std::regex_match(s, m, line)) << i << ": " << s;
    EXPECT_LT(std::stoi(m[1]), threads);
    EXPECT_LT(std::stoi(m[2]), each);
    EXPECT_TRUE(seen.insert(s).second) << "twice: " << s;
  }
  for (int i = cSecLogNum; i < SECLOG_ENTRIES; ++i) EXPECT_STREQ("", cSecLogBuf[i]) << i;
}

void run_pthreads(int threads, int each) {
  std::vector<pthread_t> ids(threads);
  std::vector<Worker> workers(threads);
  for (int t = 0; t < threads; ++t) {
    workers[t] = {t, each, false};
    ASSERT_EQ(0, pthread_create(&ids[t], nullptr, fail_repeatedly, &workers[t]));
  }
  for (pthread_t id : ids) pthread_join(id, nullptr);
}

void run_npth(int threads, int each) {
  std::vector<npth_t> ids(threads);
  std::vector<Worker> workers(threads);
  for (int t = 0; t < threads; ++t) {
    workers[t] = {t, each, true};
    ASSERT_EQ(0, npth_create(&ids[t], nullptr, fail_repeatedly, &workers[t]));
  }
  for (npth_t id : ids) npth_join(id, nullptr);
}

TEST_F(SecLog, PlainThreadsNeitherLoseNorOverrunEntries) {
  for (int round = 0; round < 50; ++round) {
    Clear_SecLog();
    run_pthreads(8, 4);  // exactly fills the log: every line must be there
    check_concurrent_log(8, 4);
    Clear_SecLog();
    run_pthreads(6, 20);  // far more failures than entries
    check_concurrent_log(6, 20);
  }
}

TEST_F(SecLog, NpthThreadsNeitherLoseNorOverrunEntries) {
  run_npth(8, 4);
  check_concurrent_log(8, 4);
  Clear_SecLog();
  run_npth(5, 30);
  check_concurrent_log(5, 30);
}

}  // namespace
