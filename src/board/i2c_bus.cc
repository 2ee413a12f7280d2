// I2C bus registry: the host's bus and device arrays, one lock per bus, and the transfers with
// their bus preparation, page split and recovery of a hung bus.
#include <bsp/i2c.h>
#include <bsp/osadapt.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

extern "C" {
BSP_API IIC_BUS_S *g_stIicBusList = nullptr;
BSP_API IIC_DEV_S *g_stIicDevList = nullptr;
BSP_API uint32_t g_u32IicBusNumber = 0;
BSP_API uint32_t g_u32IicDevNumber = 0;
BSP_API uint32_t g_u32IicBusErrorCount = 0;
BSP_API uint32_t g_ulI2cTestTime = 1;
}

namespace {

constexpr uint32_t kFail = 1;
constexpr uint32_t kTestDevice = 1;
constexpr uint32_t kTestReadLength = 2;
constexpr uint32_t kTestReadsPerUnit = 500;

uint32_t self_id() { return static_cast<uint32_t>(BSP_taskIdSelf()); }

// The owner field is read without the bus lock by every thread that tries the bus.
std::atomic_ref<uint32_t> owner(IIC_BUS_S &bus) { return std::atomic_ref<uint32_t>(bus.u32TaskId); }

// Failures may come from any thread at once; none may be lost.
void count_bus_error() { std::atomic_ref<uint32_t>(g_u32IicBusErrorCount).fetch_add(1, std::memory_order_relaxed); }

// The bus for one transfer: taken unless this thread already holds it (a nested transfer, for
// example from inside a driver function), and given back only by the one who took it.
class BusHold {
 public:
  explicit BusHold(IIC_BUS_S &bus) : bus_(bus) {
    if (owner(bus_).load(std::memory_order_acquire) == self_id()) {
      held_ = true;
      return;
    }
    if (BSP_semLock(bus_.semBus, 0) != 0) return;  // busy: no waiting
    owner(bus_).store(self_id(), std::memory_order_release);
    held_ = taken_ = true;
  }
  ~BusHold() {
    if (!taken_) return;
    owner(bus_).store(0, std::memory_order_release);
    BSP_semUnlock(bus_.semBus);
  }
  BusHold(const BusHold &) = delete;
  BusHold &operator=(const BusHold &) = delete;
  bool held() const { return held_; }

 private:
  IIC_BUS_S &bus_;
  bool held_ = false;
  bool taken_ = false;
};

struct Target {
  IIC_DEV_S *dev = nullptr;
  IIC_BUS_S *bus = nullptr;
};

bool find(uint32_t id, Target &t) { return I2CBUS_GetDevAndBusByDevId(id, &t.dev, &t.bus) == 0; }

void prepare(const Target &t) {
  I2CBUS_SelectSubBus(t.dev, t.bus);
  I2CBUS_SetClock(t.dev, t.bus);
}

// Writes in pieces that never cross a page of the device. The split goes by remainder, so a
// page size that is not a power of two is honoured too.
uint32_t write_paged(const IIC_BUS_FUNC_S &f, IIC_DEV_S *dev, uint32_t offset, uint8_t *src, uint32_t len) {
  const uint64_t page = dev->u32IicDevPageSize;
  const uint64_t end = static_cast<uint64_t>(offset) + len;
  if (page == 0 || offset / page == end / page) return f.pWrite(dev, offset, src, len);
  uint64_t done = 0;
  uint64_t piece = page - offset % page;
  for (;;) {
    uint8_t *from = src != nullptr ? src + done : nullptr;  // the driver judges a null source
    uint32_t rc = f.pWrite(dev, static_cast<uint32_t>(offset + done), from, static_cast<uint32_t>(piece));
    if (rc != 0) return rc;
    done += piece;
    const uint64_t left = len - done;
    if (left == 0) return 0;
    piece = left > page ? page : left;
  }
}

}  // namespace

extern "C" {

BSP_API uint32_t I2CBUS_Init(void *pvBusList, void *pvDevList) {
  if (pvBusList == nullptr || pvDevList == nullptr) return kFail;
  auto *buses = static_cast<IIC_BUS_S *>(pvBusList);
  auto *devs = static_cast<IIC_DEV_S *>(pvDevList);
  g_stIicBusList = buses;
  g_stIicDevList = devs;
  g_u32IicBusNumber = 0;
  // The device count of an earlier registration must not stand for the new array.
  g_u32IicDevNumber = 0;
  for (IIC_BUS_S *bus = buses; bus->pstIicBusFunc != nullptr; ++bus) {
    if (BSP_semBInit(&bus->semBus, 1) != 0) {
      printf("\r\n create i2c bus sem fail!");
      return kFail;
    }
    bus->u32TaskId = 0;
    if (bus->pstIicBusFunc->pInit != nullptr) bus->pstIicBusFunc->pInit(bus);
    ++g_u32IicBusNumber;
  }
  for (uint32_t i = 0; devs[i].pcIicDevName != nullptr; ++i) {
    IIC_DEV_S &dev = devs[i];
    if (dev.u32IicBusId >= g_u32IicBusNumber) {
      printf("\r\nu32IicBusId = 0x%x", dev.u32IicBusId);
      printf("\r\nThe I2C Device %u busid out of range\r\n", i);
      return kFail;
    }
    dev.pstIIC_BUS_S = &buses[dev.u32IicBusId];
    dev.u32IicDevId = i;
    ++g_u32IicDevNumber;
  }
  return 0;
}

BSP_API uint32_t I2CBUS_GetDevAndBusByDevId(uint32_t u32DevId, IIC_DEV_S **pDev, IIC_BUS_S **pBus) {
  if (u32DevId >= g_u32IicDevNumber || pDev == nullptr || pBus == nullptr) return kFail;
  IIC_DEV_S &dev = g_stIicDevList[u32DevId];
  if (dev.u32IicBusId >= g_u32IicBusNumber) return kFail;
  *pDev = &dev;
  *pBus = &g_stIicBusList[dev.u32IicBusId];
  return 0;
}

BSP_API void I2CBUS_SelectSubBus(IIC_DEV_S *pDev, IIC_BUS_S *pBus) {
  if (pDev == nullptr || pBus == nullptr || pBus->pstIicBusFunc == nullptr) return;
  if (pBus->pstIicBusFunc->pSelectBus != nullptr) pBus->pstIicBusFunc->pSelectBus(pDev->u32IicSubBusId);
}

BSP_API void I2CBUS_SetClock(IIC_DEV_S *pDev, IIC_BUS_S *pBus) {
  if (pDev == nullptr || pBus == nullptr || pBus->pstIicBusFunc == nullptr) return;
  if (pBus->pstIicBusFunc->pSetClock == nullptr) return;
  const uint32_t freq = pDev->u32IicDevFreq != 0 ? pDev->u32IicDevFreq : pBus->u32IicBusFreq;
  pBus->pstIicBusFunc->pSetClock(pBus, freq);
}

BSP_API uint32_t I2CBUS_ApiRead(uint32_t u32DevId, uint32_t u32Offset, uint8_t *pucDstAddr, uint32_t u32Len) {
  Target t;
  if (!find(u32DevId, t)) return kFail;
  BusHold hold(*t.bus);
  if (!hold.held()) return kFail;
  prepare(t);
  const IIC_BUS_FUNC_S &f = *t.bus->pstIicBusFunc;
  if (f.pRead == nullptr) return kFail;
  uint32_t rc = f.pRead(t.dev, u32Offset, pucDstAddr, u32Len);
  if (rc != 0 && f.pUnlock != nullptr) {
    f.pUnlock(t.dev, t.dev->u32IicBusId);
    BSP_usDelay(10);
    rc = f.pRead(t.dev, u32Offset, pucDstAddr, u32Len);
    if (rc != 0) count_bus_error();
  }
  return rc;
}

BSP_API uint32_t I2CBUS_ApiWrite(uint32_t u32DevId, uint32_t u32Offset, uint8_t *pucSrcAddr, uint32_t u32Len) {
  Target t;
  if (!find(u32DevId, t)) return kFail;
  BusHold hold(*t.bus);
  if (!hold.held()) return kFail;
  prepare(t);
  const IIC_BUS_FUNC_S &f = *t.bus->pstIicBusFunc;
  uint32_t rc = f.pWrite != nullptr ? write_paged(f, t.dev, u32Offset, pucSrcAddr, u32Len) : kFail;
  if (rc != 0 && f.pUnlock != nullptr) {
    f.pUnlock(t.dev, t.dev->u32IicBusId);
    count_bus_error();
  }
  return rc;
}

BSP_API uint32_t I2CBUS_FindDeviceIdByName(const char *pDevName, uint32_t *pDevId) {
  if (pDevName == nullptr || pDevId == nullptr) return kFail;
  for (uint32_t i = 0; i < g_u32IicDevNumber; ++i) {
    const IIC_DEV_S &dev = g_stIicDevList[i];
    if (dev.pcIicDevName != nullptr && strcmp(dev.pcIicDevName, pDevName) == 0) {
      *pDevId = dev.u32IicDevId;
      return 0;
    }
  }
  return kFail;
}

BSP_API uint32_t I2CBUS_SetDevDataWidth(uint32_t u32DevId, uint32_t u32DataWidth) {
  if (u32DevId >= g_u32IicDevNumber) return kFail;
  IIC_DEV_S &dev = g_stIicDevList[u32DevId];
  if (dev.u32IicBusId >= g_u32IicBusNumber || (u32DataWidth != 1 && u32DataWidth != 2)) return kFail;
  dev.u32I2cDevDataWidth = u32DataWidth;
  return 0;
}

BSP_API void I2CBUS_ShowBusData(uint32_t u32BusId) {
  if (u32BusId >= g_u32IicBusNumber) {
    printf("\r\nCan NOT find Bus %u\r\n", u32BusId);
  } else {
    const IIC_BUS_S &bus = g_stIicBusList[u32BusId];
    printf("\r\nBus Data at %p\r\n", static_cast<const void *>(&bus));
    printf("BusId: %u\r\n", bus.u32IicBusId);
    printf("PhyBusId: %u\r\n", bus.u32PhyBusId);
    printf("Func Table at %p\r\n", static_cast<const void *>(bus.pstIicBusFunc));
    printf("Bus Freq: 0x%x\r\n", bus.u32IicBusFreq);
    printf("SEM Id: %p\r\n", bus.semBus);
  }
  puts("\r\n\r");
}

BSP_API void I2CBUS_ShowDevData(uint32_t u32DevId) {
  Target t;
  if (!find(u32DevId, t)) {
    printf("\r\nCan NOT find Devicd %u\r\n", u32DevId);
  } else {
    const IIC_DEV_S &dev = *t.dev;
    printf("\r\nDev Data at %p\r\n", static_cast<const void *>(&dev));
    printf("Device Name: %s\r\n", dev.pcIicDevName);
    printf("Devicd Id: %u\r\n", dev.u32IicDevId);
    printf("Bus Id: %u\r\n", dev.u32IicBusId);
    printf("SubBus Id: %u\r\n", dev.u32IicSubBusId);
    printf("Dev Freq: 0x%x\r\n", dev.u32IicDevFreq);
    printf("Dev Address: 0x%x\r\n", dev.u32IicDevAddr);
    printf("Dev Address Width: 0x%x\r\n", dev.u32IicDevAddrWidth);
    printf("Dev Size: 0x%x\r\n", dev.u32IicDevSize);
    printf("Dev Page Size: 0x%x\r\n", dev.u32IicDevPageSize);
    printf("Dev data Width: 0x%x\r\n", dev.u32I2cDevDataWidth);
  }
  puts("\r\n\r");
}

BSP_API void I2C_test(void) {
  // The host stops the loop by clearing the count from another thread.
  std::atomic_ref<uint32_t> units(g_ulI2cTestTime);
  uint8_t data[kTestReadLength];
  uint32_t reads = 0;
  while (units.load(std::memory_order_relaxed) != 0) {
    puts(I2CBUS_ApiRead(kTestDevice, 0, data, kTestReadLength) != 0 ? "fail\r" : "ok\r");
    if (++reads % kTestReadsPerUnit != 0) continue;
    BSP_taskDelay(1);
    // Cleared meanwhile: stays 0 instead of wrapping to a loop without end.
    uint32_t left = units.load(std::memory_order_relaxed);
    while (left != 0 && !units.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
    }
  }
}

}  // extern "C"
