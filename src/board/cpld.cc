// CPLD wrappers over the host's driver table, and the JTAG lines in one register of CPLD 0.
#include <bsp/cpld.h>
#include <stddef.h>

extern "C" {
BSP_API BSP_CPLD_T g_strBspCpldTbl = {};
}

namespace {

// The host fills the table by field: slot i sits at i pointers from the start.
#define CPLD_CHECK_SLOT(slot, field) \
  static_assert(offsetof(BSP_CPLD_T, field) == (slot) * sizeof(void *), "slot " #slot " out of place");
#define CPLD_CHECK_RESULT(slot, field, wrapper, type, params, types, args, empty) CPLD_CHECK_SLOT(slot, field)
#define CPLD_CHECK_ACTION(slot, field, wrapper, params, types, args) CPLD_CHECK_SLOT(slot, field)
BSP_CPLD_SLOTS(CPLD_CHECK_RESULT, CPLD_CHECK_ACTION, CPLD_CHECK_SLOT)
static_assert(sizeof(BSP_CPLD_T) == 30 * sizeof(void *));

// Read anew on every call: the host may fill a slot at any time, from any thread.
template <class Fn>
Fn slot_of(void *const &slot) {
  return reinterpret_cast<Fn>(__atomic_load_n(&slot, __ATOMIC_ACQUIRE));
}

using RegRead = void (*)(uint32_t, uint32_t, uint8_t *);
using RegWrite = void (*)(uint32_t, uint32_t, uint32_t);

constexpr uint32_t kJtagCpld = 0;
constexpr uint32_t kJtagRegister = 27;
constexpr uint32_t kJtagLines = 8;  // the bits of the register byte

enum class Level { Low, High };

void drive_jtag(uint32_t line, Level level) {
  if (line >= kJtagLines) return;
  auto read = slot_of<RegRead>(g_strBspCpldTbl.regRead);
  auto write = slot_of<RegWrite>(g_strBspCpldTbl.regWrite);
  if (read == nullptr || write == nullptr) return;
  uint8_t value = 0;
  read(kJtagCpld, kJtagRegister, &value);
  const auto bit = static_cast<uint8_t>(1u << line);
  value = level == Level::High ? static_cast<uint8_t>(value | bit) : static_cast<uint8_t>(value & ~bit);
  write(kJtagCpld, kJtagRegister, value);
}

}  // namespace

extern "C" {

#define CPLD_DEFINE_RESULT(slot, field, wrapper, type, params, types, args, empty) \
  BSP_API type wrapper params {                                                   \
    auto fn = slot_of<type(*) types>(g_strBspCpldTbl.field);                      \
    return fn != nullptr ? fn args : static_cast<type>(empty);                    \
  }
#define CPLD_DEFINE_ACTION(slot, field, wrapper, params, types, args) \
  BSP_API void wrapper params {                                      \
    auto fn = slot_of<void(*) types>(g_strBspCpldTbl.field);         \
    if (fn != nullptr) fn args;                                      \
  }
#define CPLD_DEFINE_SPARE(slot, field)

BSP_CPLD_SLOTS(CPLD_DEFINE_RESULT, CPLD_DEFINE_ACTION, CPLD_DEFINE_SPARE)

BSP_API void CPLD_HiJtagGpio(uint32_t u32Gpio) { drive_jtag(u32Gpio, Level::High); }

BSP_API void CPLD_LowJtagGpio(uint32_t u32Gpio) { drive_jtag(u32Gpio, Level::Low); }

BSP_API uint32_t CPLD_GetJtagGpio(uint32_t u32Gpio) {
  if (u32Gpio >= kJtagLines) return 1;
  auto read = slot_of<RegRead>(g_strBspCpldTbl.regRead);
  if (read == nullptr) return 1;
  uint8_t value = 0;
  read(kJtagCpld, kJtagRegister, &value);
  return (value >> u32Gpio) & 1u;
}

}  // extern "C"
