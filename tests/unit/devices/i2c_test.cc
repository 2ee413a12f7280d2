// I2C bus registry on real nPth threads, with recording fake drivers for the host's buses.
#include <bsp/i2c.h>
#include <bsp/osadapt.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <npth.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <vector>

#include "fake_i2c.h"
#include "support/capture.h"

using fake_i2c::BusSpec;
using fake_i2c::DevSpec;
using fake_i2c::g_behaviour;
using fake_i2c::g_full;
using fake_i2c::g_log;
using fake_i2c::g_none;
using fake_i2c::Registry;
using Log = std::vector<std::string>;

// Semaphore creation that can be made to fail, for the registration's failure path.
namespace {
int g_sem_failures_after = -1;  // -1: never; n: the (n+1)th creation from now fails
}
extern "C" __attribute__((visibility("default"))) int32_t BSP_semBInit(void **MutexID, int32_t initialState) {
  using Real = int32_t (*)(void **, int32_t);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "BSP_semBInit"));
  if (g_sem_failures_after >= 0 && g_sem_failures_after-- == 0) return 1;
  return real(MutexID, initialState);
}

namespace {

uint32_t self_id() { return static_cast<uint32_t>(BSP_taskIdSelf()); }

// Bus 0: every driver function; bus 1: none at all; bus 2: every function again.
class I2cBus : public testing::Test {
 protected:
  I2cBus()
      : reg_({{&g_full, 10, 100000}, {&g_none, 11, 50000}, {&g_full, 12, 400000}},
             {{"eeprom", 0, 3, 0, 16},
              {"sfp", 0, 5, 400, 0},
              {"bare", 1},
              {"odd", 0, 0, 0, 6},
              {"other", 2, 1}}) {}
  void SetUp() override {
    ASSERT_EQ(0u, reg_.init());
    g_log.clear();
    errors_ = g_u32IicBusErrorCount;
  }
  uint32_t new_errors() const { return g_u32IicBusErrorCount - errors_; }

  Registry reg_;
  uint32_t errors_ = 0;
};

TEST_F(I2cBus, RegistrationNumbersDevicesAndPreparesEveryBus) {
  EXPECT_EQ(3u, g_u32IicBusNumber);
  EXPECT_EQ(5u, g_u32IicDevNumber);
  EXPECT_EQ(&reg_.bus(0), g_stIicBusList);
  EXPECT_EQ(&reg_.dev(0), g_stIicDevList);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NE(nullptr, reg_.bus(i).semBus) << i;
    EXPECT_EQ(0u, reg_.bus(i).u32TaskId) << i;
  }
  const uint32_t bus_of[] = {0, 0, 1, 0, 2};
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(i, reg_.dev(i).u32IicDevId);
    EXPECT_EQ(&reg_.bus(bus_of[i]), reg_.dev(i).pstIIC_BUS_S);
  }
  // A second registration creates the buses again and calls their drivers' init.
  void *first[3] = {reg_.bus(0).semBus, reg_.bus(1).semBus, reg_.bus(2).semBus};
  EXPECT_EQ(0u, reg_.init());
  EXPECT_EQ((Log{"init phy10", "init phy12"}), g_log);
  for (void *sem : first) free(sem);  // the library keeps its semaphores; the test gives them back
}

TEST(I2cRegistration, Failures) {
  IIC_BUS_S bus[1] = {};
  IIC_DEV_S dev[1] = {};
  EXPECT_EQ(1u, I2CBUS_Init(nullptr, dev));
  EXPECT_EQ(1u, I2CBUS_Init(bus, nullptr));

  {
    Registry reg({{&g_full, 0, 1}, {&g_full, 1, 1}}, {{"a", 1}, {"b", 5}, {"c", 0}});
    std::string out = bsp::test::capture_stdout([&] { EXPECT_EQ(1u, reg.init()); });
    EXPECT_EQ("\r\nu32IicBusId = 0x5\r\nThe I2C Device 1 busid out of range\r\n", out);
    EXPECT_EQ(2u, g_u32IicBusNumber);
    EXPECT_EQ(1u, g_u32IicDevNumber);  // the devices before it stay registered
    uint32_t id = 0;
    EXPECT_EQ(0u, I2CBUS_FindDeviceIdByName("a", &id));
    EXPECT_EQ(1u, I2CBUS_FindDeviceIdByName("c", &id));
  }
  {
    Registry earlier({{&g_full, 0, 1}}, {{"x", 0}, {"y", 0}});
    ASSERT_EQ(0u, earlier.init());
    Registry reg({{&g_full, 0, 1}, {&g_full, 1, 1}, {&g_full, 2, 1}}, {{"a", 0}, {"b", 1}});
    g_sem_failures_after = 1;  // the second bus gets no semaphore
    std::string out = bsp::test::capture_stdout([&] { EXPECT_EQ(1u, reg.init()); });
    g_sem_failures_after = -1;
    EXPECT_EQ("\r\n create i2c bus sem fail!", out);
    EXPECT_EQ(1u, g_u32IicBusNumber);
    EXPECT_EQ((Log{"init phy0"}), g_log);
    // No device of the new arrays is registered, none of an earlier registration stands for them.
    EXPECT_EQ(0u, g_u32IicDevNumber);
    uint8_t b = 0;
    EXPECT_EQ(1u, I2CBUS_ApiRead(0, 0, &b, 1));
  }
  // An empty registry: every device number is out of range.
  Registry none({}, {});
  ASSERT_EQ(0u, none.init());
  EXPECT_EQ(0u, g_u32IicBusNumber);
  EXPECT_EQ(0u, g_u32IicDevNumber);
  uint8_t b = 0;
  EXPECT_EQ(1u, I2CBUS_ApiRead(0, 0, &b, 1));
  EXPECT_EQ(1u, I2CBUS_ApiWrite(0, 0, &b, 1));
}

TEST_F(I2cBus, LookupByNumberAndByName) {
  IIC_DEV_S *dev = nullptr;
  IIC_BUS_S *bus = nullptr;
  EXPECT_EQ(0u, I2CBUS_GetDevAndBusByDevId(4, &dev, &bus));
  EXPECT_EQ(&reg_.dev(4), dev);
  EXPECT_EQ(&reg_.bus(2), bus);
  EXPECT_EQ(1u, I2CBUS_GetDevAndBusByDevId(5, &dev, &bus));
  EXPECT_EQ(1u, I2CBUS_GetDevAndBusByDevId(0, nullptr, &bus));
  EXPECT_EQ(1u, I2CBUS_GetDevAndBusByDevId(0, &dev, nullptr));

  uint32_t id = 99;
  EXPECT_EQ(0u, I2CBUS_FindDeviceIdByName("odd", &id));
  EXPECT_EQ(3u, id);
  id = 99;
  for (const char *name : {"ODD", "od", "odd ", "sfp0_page0", ""}) {
    EXPECT_EQ(1u, I2CBUS_FindDeviceIdByName(name, &id)) << name;
    EXPECT_EQ(99u, id);
  }
  EXPECT_EQ(1u, I2CBUS_FindDeviceIdByName(nullptr, &id));
  EXPECT_EQ(1u, I2CBUS_FindDeviceIdByName("odd", nullptr));
}

TEST(I2cNames, ANameIsFoundOnceRegistered) {
  uint32_t id = 0;
  Registry without({{&g_full, 0, 1}}, {{"eepromcard", 0}});
  ASSERT_EQ(0u, without.init());
  EXPECT_EQ(1u, I2CBUS_FindDeviceIdByName("sfp0_page0", &id));
  Registry with({{&g_full, 0, 1}}, {{"eepromcard", 0}, {"sfp0_page0", 0}});
  ASSERT_EQ(0u, with.init());
  EXPECT_EQ(0u, I2CBUS_FindDeviceIdByName("sfp0_page0", &id));
  EXPECT_EQ(1u, id);
}

TEST_F(I2cBus, DataWidth) {
  for (uint32_t width : {1u, 2u}) {
    EXPECT_EQ(0u, I2CBUS_SetDevDataWidth(1, width));
    EXPECT_EQ(width, reg_.dev(1).u32I2cDevDataWidth);
  }
  for (uint32_t width : {0u, 3u, 0xFFFFFFFFu}) EXPECT_EQ(1u, I2CBUS_SetDevDataWidth(1, width)) << width;
  EXPECT_EQ(2u, reg_.dev(1).u32I2cDevDataWidth);
  EXPECT_EQ(1u, I2CBUS_SetDevDataWidth(5, 1));
}

TEST_F(I2cBus, ReadPreparesTheBusThenReads) {
  uint8_t data[4] = {};
  EXPECT_EQ(0u, I2CBUS_ApiRead(0, 0x10, data, 4));
  EXPECT_EQ((Log{"select 3", "clock phy10 100000", "read eeprom 0x10 4"}), g_log);
  EXPECT_EQ(0x10, data[0]);
  EXPECT_EQ(0x13, data[3]);
  g_log.clear();
  // The device's own clock wins over the bus's.
  EXPECT_EQ(0u, I2CBUS_ApiRead(1, 0, data, 1));
  EXPECT_EQ((Log{"select 5", "clock phy10 400", "read sfp 0x0 1"}), g_log);
  EXPECT_EQ(0u, reg_.bus(0).u32TaskId);
  EXPECT_EQ(0u, new_errors());
}

TEST_F(I2cBus, FailedReadGetsOneUnlockAndOneRetry) {
  uint8_t data[2] = {};
  g_behaviour.read_failures = 1;
  EXPECT_EQ(0u, I2CBUS_ApiRead(0, 0, data, 2));
  EXPECT_EQ((Log{"select 3", "clock phy10 100000", "read eeprom 0x0 2", "unlock eeprom 0", "read eeprom 0x0 2"}),
            g_log);
  EXPECT_EQ(0u, new_errors());

  g_log.clear();
  g_behaviour.read_failures = 2;
  EXPECT_EQ(7u, I2CBUS_ApiRead(0, 0, data, 2));  // the driver's own result
  EXPECT_EQ((Log{"select 3", "clock phy10 100000", "read eeprom 0x0 2", "unlock eeprom 0", "read eeprom 0x0 2"}),
            g_log);
  EXPECT_EQ(1u, new_errors());
  EXPECT_EQ(0u, reg_.bus(0).u32TaskId);
  // The bus was given back: the next transfer takes it again.
  EXPECT_EQ(0u, I2CBUS_ApiRead(0, 0, data, 2));
}

// The page pieces of one write: offset, length and the source byte at its start.
struct Split {
  uint32_t page, offset, len;
  Log pieces;
};

TEST_F(I2cBus, WritesAreSplitAtPageBoundaries) {
  const Split cases[] = {
      {16, 0x1C, 20, {"write w 0x1c 4 from 0", "write w 0x20 16 from 4"}},
      {16, 0x10, 5, {"write w 0x10 5 from 0"}},
      {16, 0, 16, {"write w 0x0 16 from 0"}},
      {16, 0, 40, {"write w 0x0 16 from 0", "write w 0x10 16 from 16", "write w 0x20 8 from 32"}},
      {16, 0x0F, 18, {"write w 0xf 1 from 0", "write w 0x10 16 from 1", "write w 0x20 1 from 17"}},
      {0, 0x1C, 20, {"write w 0x1c 20 from 0"}},
      // Page sizes that are not powers of two are split by remainder.
      {6, 2, 14, {"write w 0x2 4 from 0", "write w 0x6 6 from 4", "write w 0xc 4 from 10"}},
      {6, 5, 3, {"write w 0x5 1 from 0", "write w 0x6 2 from 1"}},
      {6, 7, 4, {"write w 0x7 4 from 0"}},
      {24, 20, 40, {"write w 0x14 4 from 0", "write w 0x18 24 from 4", "write w 0x30 12 from 28"}},
  };
  for (const Split &c : cases) {
    SCOPED_TRACE("page " + std::to_string(c.page) + " offset " + std::to_string(c.offset) + " length " +
                 std::to_string(c.len));
    Registry reg({{&g_full, 0, 1}}, {{"w", 0, 0, 0, c.page}});
    ASSERT_EQ(0u, reg.init());
    g_log.clear();
    std::vector<uint8_t> src(c.len);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(0u, I2CBUS_ApiWrite(0, c.offset, src.data(), c.len));
    Log expected = {"select 0", "clock phy0 1"};
    expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
    EXPECT_EQ(expected, g_log);
  }
}

TEST_F(I2cBus, FailedWriteStopsUnlocksAndCounts) {
  uint8_t src[40] = {};
  g_behaviour.write_fail_at = 1;
  EXPECT_EQ(9u, I2CBUS_ApiWrite(0, 0, src, 40));
  EXPECT_EQ((Log{"select 3", "clock phy10 100000", "write eeprom 0x0 16 from 0", "write eeprom 0x10 16 from 0",
                 "unlock eeprom 0"}),
            g_log);
  EXPECT_EQ(1u, new_errors());
  EXPECT_EQ(0u, reg_.bus(0).u32TaskId);
}

TEST(I2cDrivers, MissingFunctionsAreSkippedOrFail) {
  IIC_BUS_FUNC_S no_write = g_full, no_read = g_full, no_unlock = g_full;
  no_write.pWrite = nullptr;
  no_read.pRead = nullptr;
  no_unlock.pUnlock = nullptr;
  Registry reg({{&no_write, 0, 1}, {&no_read, 1, 1}, {&g_none, 2, 1}, {&no_unlock, 3, 1}},
               {{"nw", 0}, {"nr", 1}, {"none", 2}, {"nu", 3}});
  ASSERT_EQ(0u, reg.init());
  const uint32_t errors = g_u32IicBusErrorCount;
  uint8_t b[2] = {};

  g_log.clear();
  EXPECT_EQ(1u, I2CBUS_ApiWrite(0, 0, b, 2));
  EXPECT_EQ((Log{"select 0", "clock phy0 1", "unlock nw 0"}), g_log);
  EXPECT_EQ(errors + 1, g_u32IicBusErrorCount);

  g_log.clear();
  EXPECT_EQ(1u, I2CBUS_ApiRead(1, 0, b, 2));
  EXPECT_EQ((Log{"select 0", "clock phy1 1"}), g_log);
  EXPECT_EQ(errors + 1, g_u32IicBusErrorCount);

  g_log.clear();
  EXPECT_EQ(1u, I2CBUS_ApiRead(2, 0, b, 2));
  EXPECT_EQ(1u, I2CBUS_ApiWrite(2, 0, b, 2));
  EXPECT_EQ(Log{}, g_log);
  I2CBUS_SelectSubBus(&reg.dev(2), &reg.bus(2));
  I2CBUS_SetClock(&reg.dev(2), &reg.bus(2));
  EXPECT_EQ(errors + 1, g_u32IicBusErrorCount);

  // Without a bus unlock a failed read is not retried.
  g_behaviour.read_failures = 1;
  g_log.clear();
  EXPECT_EQ(7u, I2CBUS_ApiRead(3, 0, b, 2));
  EXPECT_EQ((Log{"select 0", "clock phy3 1", "read nu 0x0 2"}), g_log);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(0u, reg.bus(i).u32TaskId) << i;
}

struct HolderState {
  std::atomic<bool> in_driver{false};
  std::atomic<bool> release{false};
  uint32_t owner_seen = 0;
  uint32_t result = 0xFF;
};
HolderState *g_holder = nullptr;

void *hold_bus(void *) {
  uint8_t data[2] = {};
  g_holder->result = I2CBUS_ApiRead(0, 0, data, 2);
  return nullptr;
}

TEST_F(I2cBus, AnotherThreadFindsTheBusBusyAtOnce) {
  HolderState state;
  g_holder = &state;
  g_behaviour.in_read = [](IIC_DEV_S *dev) {
    if (g_holder->release || dev->u32IicDevId != 0) return;  // the holder's own read only
    g_holder->owner_seen = dev->pstIIC_BUS_S->u32TaskId;
    g_holder->in_driver = true;
    while (!g_holder->release) BSP_taskDelay(1);
  };
  npth_t holder;
  ASSERT_EQ(0, npth_create(&holder, nullptr, hold_bus, nullptr));
  while (!state.in_driver) BSP_taskDelay(1);

  // Bus 0 is held inside the holder's driver, which waits for this thread: a transfer that
  // waited for the bus would never come back.
  const size_t calls = g_log.size();
  uint8_t data[2] = {};
  EXPECT_EQ(1u, I2CBUS_ApiRead(1, 0, data, 2));
  EXPECT_EQ(1u, I2CBUS_ApiWrite(3, 0, data, 2));
  EXPECT_EQ(calls, g_log.size());  // neither prepared nor touched the bus
  EXPECT_NE(0u, state.owner_seen);
  EXPECT_NE(self_id(), state.owner_seen);
  EXPECT_EQ(state.owner_seen, reg_.bus(0).u32TaskId);
  // Other buses are free.
  EXPECT_EQ(0u, I2CBUS_ApiRead(4, 0, data, 2));

  state.release = true;
  npth_join(holder, nullptr);
  EXPECT_EQ(0u, state.result);
  EXPECT_EQ(0u, reg_.bus(0).u32TaskId);
  EXPECT_EQ(0u, I2CBUS_ApiRead(1, 0, data, 2));
  EXPECT_EQ(0u, new_errors());
  g_holder = nullptr;
}

struct Nested {
  uint32_t result = 0xFF;
  uint32_t owner_during = 0;
  uint32_t owner_after = 0;
  int depth = 0;
};
Nested *g_nested = nullptr;

TEST_F(I2cBus, ADriverMayStartANestedTransferOnItsOwnBus) {
  Nested nested;
  g_nested = &nested;
  g_behaviour.in_read = [](IIC_DEV_S *dev) {
    if (g_nested->depth++ != 0) return;
    g_nested->owner_during = dev->pstIIC_BUS_S->u32TaskId;
    uint8_t b[3] = {1, 2, 3};
    g_nested->result = I2CBUS_ApiWrite(1, 0x40, b, 3);  // "sfp", also on bus 0
    g_nested->owner_after = dev->pstIIC_BUS_S->u32TaskId;
  };
  uint8_t data[2] = {};
  EXPECT_EQ(0u, I2CBUS_ApiRead(0, 0, data, 2));
  EXPECT_EQ(0u, nested.result);
  EXPECT_EQ(self_id(), nested.owner_during);
  EXPECT_EQ(self_id(), nested.owner_after);  // the nested transfer did not give the bus back
  EXPECT_EQ((Log{"select 3", "clock phy10 100000", "read eeprom 0x0 2", "select 5", "clock phy10 400",
                 "write sfp 0x40 3 from 1"}),
            g_log);
  EXPECT_EQ(0u, reg_.bus(0).u32TaskId);
  g_behaviour.in_read = nullptr;

  // Given back at the end of the outer transfer: another thread takes it.
  HolderState state;
  state.release = true;
  g_holder = &state;
  npth_t t;
  ASSERT_EQ(0, npth_create(&t, nullptr, hold_bus, nullptr));
  npth_join(t, nullptr);
  EXPECT_EQ(0u, state.result);
  g_holder = nullptr;
  g_nested = nullptr;
}

// Drivers that always fail, for counting from threads that run truly at once.
uint32_t fail_write(IIC_DEV_S *, uint32_t, uint8_t *, uint32_t) { return 1; }
uint32_t quiet_unlock(IIC_DEV_S *, uint32_t) { return 0; }
IIC_BUS_FUNC_S g_failing = {nullptr, nullptr, nullptr, nullptr, fail_write, quiet_unlock};
constexpr uint32_t kCountingThreads = 4;
constexpr uint32_t kWritesPerThread = 50000;

void *fail_many(void *arg) {
  const auto dev = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
  uint8_t b = 0;
  for (uint32_t i = 0; i < kWritesPerThread; ++i) I2CBUS_ApiWrite(dev, 0, &b, 1);
  return nullptr;
}

// Plain POSIX threads, each on its own bus, run in parallel outside nPth's scheduling.
TEST(I2cErrors, FailuresFromThreadsAtOnceAreAllCounted) {
  std::vector<BusSpec> buses;
  std::vector<DevSpec> devs;
  for (uint32_t i = 0; i < kCountingThreads; ++i) {
    buses.push_back({&g_failing, i, 1});
    devs.push_back({"d", i});
  }
  Registry reg(buses, devs);
  ASSERT_EQ(0u, reg.init());
  const uint32_t before = g_u32IicBusErrorCount;
  pthread_t threads[kCountingThreads];
  for (uint32_t i = 0; i < kCountingThreads; ++i) {
    ASSERT_EQ(0, pthread_create(&threads[i], nullptr, fail_many, reinterpret_cast<void *>(uintptr_t{i})));
  }
  for (pthread_t t : threads) pthread_join(t, nullptr);
  EXPECT_EQ(before + kCountingThreads * kWritesPerThread, g_u32IicBusErrorCount);
}

std::string pointer_text(const void *p) {
  char buf[32];
  snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

TEST_F(I2cBus, DebugPrints) {
  const IIC_BUS_S &bus = reg_.bus(2);
  std::string out = bsp::test::capture_stdout([] { I2CBUS_ShowBusData(2); });
  EXPECT_EQ("\r\nBus Data at " + pointer_text(&bus) + "\r\nBusId: 0\r\nPhyBusId: 12\r\nFunc Table at " +
                pointer_text(&g_full) + "\r\nBus Freq: 0x61a80\r\nSEM Id: " + pointer_text(bus.semBus) +
                "\r\n\r\n\r\n",
            out);
  EXPECT_EQ("\r\nCan NOT find Bus 3\r\n\r\n\r\n", bsp::test::capture_stdout([] { I2CBUS_ShowBusData(3); }));

  IIC_DEV_S &dev = reg_.dev(1);
  dev.u32IicDevAddr = 0x50;
  dev.u32IicDevAddrWidth = 2;
  dev.u32IicDevSize = 0x100;
  dev.u32I2cDevDataWidth = 1;
  out = bsp::test::capture_stdout([] { I2CBUS_ShowDevData(1); });
  EXPECT_EQ("\r\nDev Data at " + pointer_text(&dev) +
                "\r\nDevice Name: sfp\r\nDevicd Id: 1\r\nBus Id: 0\r\nSubBus Id: 5\r\nDev Freq: 0x190\r\n"
                "Dev Address: 0x50\r\nDev Address Width: 0x2\r\nDev Size: 0x100\r\nDev Page Size: 0x0\r\n"
                "Dev data Width: 0x1\r\n\r\n\r\n",
            out);
  EXPECT_EQ("\r\nCan NOT find Devicd 7\r\n\r\n\r\n", bsp::test::capture_stdout([] { I2CBUS_ShowDevData(7); }));
}

TEST_F(I2cBus, TestLoopReadsDeviceOneFiveHundredTimesPerUnit) {
  g_ulI2cTestTime = 2;
  std::string out = bsp::test::capture_stdout([] { I2C_test(); });
  EXPECT_EQ(0u, g_ulI2cTestTime);
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += "ok\r\n";
  EXPECT_EQ(expected, out);
  EXPECT_EQ(3000u, g_log.size());
  EXPECT_EQ("read sfp 0x0 2", g_log.back());

  // Cleared by the host during a unit's last read: the loop ends there instead of counting
  // down from a wrapped count.
  g_log.clear();
  g_ulI2cTestTime = 3;
  g_behaviour.in_read = [](IIC_DEV_S *) {
    if (g_log.size() == 3 * 500) g_ulI2cTestTime = 0;
    if (g_log.size() == 3 * 999) g_ulI2cTestTime = 1;  // ends a loop that ran on past it
  };
  out = bsp::test::capture_stdout([] { I2C_test(); });
  EXPECT_EQ(0u, g_ulI2cTestTime);
  expected.clear();
  for (int i = 0; i < 500; ++i) expected += "ok\r\n";
  EXPECT_EQ(expected, out);

  g_log.clear();
  g_ulI2cTestTime = 1;
  g_behaviour = {};
  g_behaviour.read_failures = 2;
  out = bsp::test::capture_stdout([] { I2C_test(); });
  EXPECT_EQ(0u, out.rfind("fail\r\nok\r\n", 0));
  g_ulI2cTestTime = 1;
}

}  // namespace
