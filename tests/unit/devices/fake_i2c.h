// Recording stand-ins for the host's I2C bus drivers, and the host's bus and device arrays.
#pragma once

#include <bsp/i2c.h>

#include <functional>
#include <string>
#include <vector>

namespace fake_i2c {

// What the fake drivers do next; reset by Registry (assign a fresh one to start over).
struct Behaviour {
  int read_failures = 0;         // this many reads fail first
  uint32_t read_fail_rc = 7;     // a failing read's result
  int write_fail_at = -1;        // the write call (from 0) that fails; -1 none
  uint32_t write_fail_rc = 9;    // a failing write's result
  int writes = 0;                // write calls so far
  // Runs inside pRead, before it answers.
  std::function<void(IIC_DEV_S *)> in_read;
};
extern Behaviour g_behaviour;

// One line per driver call, for example "select 3", "clock phy0 100000", "read eeprom 0x10 4",
// "write eeprom 0x1c 4 from 0", "unlock eeprom 0", "init phy0".
extern std::vector<std::string> g_log;

// Every function present, and every function absent.
extern IIC_BUS_FUNC_S g_full;
extern IIC_BUS_FUNC_S g_none;

struct BusSpec {
  IIC_BUS_FUNC_S *funcs;
  uint32_t phy;
  uint32_t freq;
};
struct DevSpec {
  const char *name;
  uint32_t bus;
  uint32_t sub = 0;
  uint32_t freq = 0;
  uint32_t page = 0;
};

// The host's arrays (each with its end entry). Gone with the registry: the library is pointed
// at empty arrays and the bus semaphores are given back.
class Registry {
 public:
  Registry(const std::vector<BusSpec> &buses, const std::vector<DevSpec> &devs);
  ~Registry();
  Registry(const Registry &) = delete;
  Registry &operator=(const Registry &) = delete;
  uint32_t init();
  IIC_BUS_S &bus(size_t i) { return buses_[i]; }
  IIC_DEV_S &dev(size_t i) { return devs_[i]; }

 private:
  std::vector<IIC_BUS_S> buses_;
  std::vector<IIC_DEV_S> devs_;
};

// Bytes a fake read gives: byte i of a read at offset o is (o + i) & 0xFF.
inline uint8_t read_byte(uint32_t offset, uint32_t i) { return static_cast<uint8_t>(offset + i); }

}  // namespace fake_i2c
