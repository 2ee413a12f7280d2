#include "fake_i2c.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

namespace fake_i2c {

Behaviour g_behaviour;
std::vector<std::string> g_log;

namespace {

void log(const char *format, ...) __attribute__((format(printf, 1, 2)));
void log(const char *format, ...) {
  char line[160];
  va_list ap;
  va_start(ap, format);
  vsnprintf(line, sizeof line, format, ap);
  va_end(ap);
  g_log.emplace_back(line);
}

uint32_t init(IIC_BUS_S *bus) {
  log("init phy%u", bus->u32PhyBusId);
  return 0;
}

uint32_t set_clock(IIC_BUS_S *bus, uint32_t freq) {
  log("clock phy%u %u", bus->u32PhyBusId, freq);
  return 0;
}

uint32_t select_bus(uint32_t sub) {
  log("select %u", sub);
  return 0;
}

uint32_t read(IIC_DEV_S *dev, uint32_t offset, uint8_t *dst, uint32_t len) {
  log("read %s 0x%x %u", dev->pcIicDevName, offset, len);
  if (g_behaviour.in_read) g_behaviour.in_read(dev);
  if (g_behaviour.read_failures > 0) {
    --g_behaviour.read_failures;
    return g_behaviour.read_fail_rc;
  }
  for (uint32_t i = 0; i < len && dst != nullptr; ++i) dst[i] = read_byte(offset, i);
  return 0;
}

uint32_t write(IIC_DEV_S *dev, uint32_t offset, uint8_t *src, uint32_t len) {
  log("write %s 0x%x %u from %d", dev->pcIicDevName, offset, len, src != nullptr ? src[0] : -1);
  return g_behaviour.writes++ == g_behaviour.write_fail_at ? g_behaviour.write_fail_rc : 0;
}

uint32_t unlock(IIC_DEV_S *dev, uint32_t bus) {
  log("unlock %s %u", dev->pcIicDevName, bus);
  return 0;
}

}  // namespace

IIC_BUS_FUNC_S g_full = {init, set_clock, select_bus, read, write, unlock};
IIC_BUS_FUNC_S g_none = {};

Registry::Registry(const std::vector<BusSpec> &buses, const std::vector<DevSpec> &devs) {
  g_behaviour = {};
  g_log.clear();
  for (const BusSpec &b : buses) {
    IIC_BUS_S bus = {};
    bus.pstIicBusFunc = b.funcs;
    bus.u32PhyBusId = b.phy;
    bus.u32IicBusFreq = b.freq;
    bus.u32TaskId = 0xDEAD;  // whatever the host left there
    buses_.push_back(bus);
  }
  buses_.push_back(IIC_BUS_S{});
  for (const DevSpec &d : devs) {
    IIC_DEV_S dev = {};
    dev.pcIicDevName = d.name;
    dev.u32IicDevId = 0xBAD;
    dev.u32IicBusId = d.bus;
    dev.u32IicSubBusId = d.sub;
    dev.u32IicDevFreq = d.freq;
    dev.u32IicDevPageSize = d.page;
    devs_.push_back(dev);
  }
  devs_.push_back(IIC_DEV_S{});
}

uint32_t Registry::init() {
  g_log.clear();
  return I2CBUS_Init(buses_.data(), devs_.data());
}

Registry::~Registry() {
  static IIC_BUS_S no_bus[1] = {};
  static IIC_DEV_S no_dev[1] = {};
  I2CBUS_Init(no_bus, no_dev);
  for (IIC_BUS_S &bus : buses_) {
    if (bus.semBus == nullptr) continue;
    pthread_mutex_destroy(static_cast<pthread_mutex_t *>(bus.semBus));
    free(bus.semBus);
  }
}

}  // namespace fake_i2c
