// OS adaptation on real nPth threads.
#include <bsp/osadapt.h>
#include <gtest/gtest.h>
#include <npth.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "support/capture.h"

namespace {

double now_seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The library's semaphores live as long as the process; the tests give theirs back.
struct Sem {
  void *m = nullptr;
  ~Sem() { free(m); }
};

struct HolderArgs {
  void *mutex;
  unsigned hold_ms;
  volatile bool locked = false;
};

void *hold_then_release(void *p) {
  auto *a = static_cast<HolderArgs *>(p);
  EXPECT_EQ(0, BSP_semLock(a->mutex, -1));
  a->locked = true;
  BSP_taskDelay(a->hold_ms);
  EXPECT_EQ(0, BSP_semUnlock(a->mutex));
  return nullptr;
}

// Starts a joinable nPth thread that holds the mutex for hold_ms and waits until it has it.
npth_t start_holder(HolderArgs &args) {
  npth_t t;
  EXPECT_EQ(0, npth_create(&t, nullptr, hold_then_release, &args));
  while (!args.locked) BSP_taskDelay(1);
  return t;
}

TEST(SemLock, ZeroTimeoutTakesFreeMutexAndFailsAtOnceOnHeldOne) {
  Sem sem;
  void *&m = sem.m;
  ASSERT_EQ(0, BSP_semBInit(&m, 0));
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(0, BSP_semLock(m, 0));
  EXPECT_EQ(0, BSP_semUnlock(m));

  HolderArgs args{m, 1500};
  npth_t t = start_holder(args);
  double start = now_seconds();
  EXPECT_EQ(1, BSP_semLock(m, 0));
  EXPECT_LT(now_seconds() - start, 0.5);
  npth_join(t, nullptr);
  EXPECT_EQ(0, BSP_semLock(m, 0));
  EXPECT_EQ(0, BSP_semUnlock(m));
}

TEST(SemLock, TimeoutInSecondsExpiresWhileHeld) {
  Sem sem;
  void *&m = sem.m;
  ASSERT_EQ(0, BSP_semBInit(&m, 1));  // the initial state is ignored: starts unlocked
  HolderArgs args{m, 3500};
  npth_t t = start_holder(args);
  double start = now_seconds();
  EXPECT_EQ(1, BSP_semLock(m, 2));
  double waited = now_seconds() - start;
  EXPECT_GT(waited, 1.5);
  EXPECT_LT(waited, 3.2);
  npth_join(t, nullptr);
}

TEST(SemLock, TimeoutSucceedsWhenReleasedEarlier) {
  Sem sem;
  void *&m = sem.m;
  ASSERT_EQ(0, BSP_semBInit(&m, 0));
  HolderArgs args{m, 300};
  npth_t t = start_holder(args);
  double start = now_seconds();
  EXPECT_EQ(0, BSP_semLock(m, 2));
  EXPECT_LT(now_seconds() - start, 1.5);
  EXPECT_EQ(0, BSP_semUnlock(m));
  npth_join(t, nullptr);
}

TEST(SemLock, NegativeTimeoutWaitsForRelease) {
  Sem sem;
  void *&m = sem.m;
  ASSERT_EQ(0, BSP_semBInit(&m, 0));
  HolderArgs args{m, 200};
  npth_t t = start_holder(args);
  EXPECT_EQ(0, BSP_semLock(m, -1));
  EXPECT_EQ(0, BSP_semUnlock(m));
  npth_join(t, nullptr);
  EXPECT_EQ(0, BSP_semLockForever(m));
  EXPECT_EQ(0, BSP_semUnlock(m));
}

TEST(SemInit, NullHandleFails) {
  EXPECT_EQ(1, BSP_semBInit(nullptr, 0));
  EXPECT_EQ(1, BSP_semLock(nullptr, 0));
  EXPECT_EQ(1, BSP_semUnlock(nullptr));
}

TEST(Delay, TaskDelaySleepsAndMsDelayDoesNot) {
  double start = now_seconds();
  EXPECT_EQ(0, BSP_taskDelay(50));
  EXPECT_GE(now_seconds() - start, 0.045);
  start = now_seconds();
  BSP_msDelay(1000);
  BSP_usDelay(1000000);
  EXPECT_LT(now_seconds() - start, 0.1);
}

TEST(Delay, MicrosecondProductWrapsIn32Bits) {
  // 4294968 ms is 4294968000 us, which wraps to 704 us: a short sleep, not 71 minutes.
  double start = now_seconds();
  EXPECT_EQ(0, BSP_taskDelay(4294968u));
  EXPECT_LT(now_seconds() - start, 0.5);
}

TEST(Memory, ZeroBytesGiveNullAndOthersAllocate) {
  EXPECT_EQ(nullptr, BSP_malloc(0, 0));
  void *p = BSP_malloc(64, 0xFFFFFFFF);
  ASSERT_NE(nullptr, p);
  BSP_free(p);
  BSP_free(nullptr);
}

void *record_arg(void *arg) {
  *static_cast<volatile int *>(arg) = 42;
  return nullptr;
}

TEST(Task, CreateRunsTheRoutineOnAnNpthThread) {
  volatile int seen = 0;
  npth_t id;
  EXPECT_EQ(0, BSP_taskCreate("worker", &id, record_arg, const_cast<int *>(&seen)));
  for (int i = 0; i < 200 && seen == 0; ++i) BSP_taskDelay(5);
  EXPECT_EQ(42, seen);
}

TEST(Task, NullIdStartsNothing) {
  volatile int seen = 0;
  EXPECT_EQ(1, BSP_taskCreate("worker", nullptr, record_arg, const_cast<int *>(&seen)));
  BSP_taskDelay(50);
  EXPECT_EQ(0, seen);
}

TEST(Task, SetNameNamesTheThread) {
  EXPECT_EQ(1, BSP_taskSetName(nullptr));
  EXPECT_EQ(0, BSP_taskSetName("bsp-worker"));
  char name[32] = {0};
  ASSERT_EQ(0, pthread_getname_np(pthread_self(), name, sizeof name));
  EXPECT_STREQ("bsp-worker", name);
  EXPECT_EQ(static_cast<int32_t>(pthread_self()), BSP_taskIdSelf());
}

TEST(NoOps, AnswerZero) {
  EXPECT_EQ(0, BSP_taskDelete(nullptr));
  EXPECT_EQ(0, BSP_taskSuspend(nullptr));
  EXPECT_EQ(0, BSP_taskResume(nullptr));
  EXPECT_EQ(0, BSP_taskLock());
  EXPECT_EQ(0, BSP_taskUnlock());
  EXPECT_EQ(0, BSP_intLock());
  BSP_intUnLock(5);
  EXPECT_EQ(0, BSP_cacheFlush(1, 2, 3));
  EXPECT_EQ(0, BSP_logicAddr(7));
}

TEST(DebugPrint, PrintsWhateverModuleAndLevel) {
  int n = 0;
  std::string out = bsp::test::capture_stdout([&] { n = BSP_debugPrint(9, 99, "v=%d %s", 5, "x"); });
  EXPECT_EQ("v=5 x", out);
  EXPECT_EQ(5, n);
}

TEST(Io, ReadWriteAndSelectGoThroughNpth) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  BSP_Write(fds[1], "abc", 3);
  fd_set r;
  FD_ZERO(&r);
  FD_SET(fds[0], &r);
  timeval tv{1, 0};
  EXPECT_EQ(1, BSP_Select(fds[0] + 1, &r, nullptr, nullptr, &tv));
  char buf[8] = {0};
  EXPECT_EQ(3, BSP_Read(fds[0], buf, sizeof buf));
  EXPECT_STREQ("abc", buf);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace

namespace {

struct Server {
  int listener;
  volatile int accepted = -2;
};

void *accept_one(void *p) {
  auto *s = static_cast<Server *>(p);
  sockaddr_un peer{};
  socklen_t len = sizeof peer;
  s->accepted = BSP_SocketAccept(s->listener, &peer, &len);
  return nullptr;
}

TEST(Io, SocketConnectAndAcceptGoThroughNpth) {
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "/tmp/bsp-osadapt-%d.sock", getpid());
  unlink(addr.sun_path);
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr));
  ASSERT_EQ(0, listen(listener, 1));
  Server server{listener};
  npth_t t;
  ASSERT_EQ(0, npth_create(&t, nullptr, accept_one, &server));
  int client = socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(0, BSP_SocketConnect(client, &addr, sizeof addr));
  npth_join(t, nullptr);
  ASSERT_GE(server.accepted, 0);
  BSP_Write(client, "ping", 4);
  char buf[8] = {0};
  EXPECT_EQ(4, BSP_Read(server.accepted, buf, sizeof buf));
  EXPECT_STREQ("ping", buf);
  EXPECT_EQ(-1, BSP_SocketConnect(client, &addr, sizeof addr));  // already connected: the call's own error
  close(client);
  close(server.accepted);
  close(listener);
  unlink(addr.sun_path);
}

}  // namespace
