// The BSP_Api entry points: each reads its slot and calls the function there with its own
// arguments, or gives the slot's fixed answer when the slot or the whole table is missing.
// Generated from the slot lists of <bsp/api_slots.h>.
#include <bsp/api.h>
#include <bsp/diag.h>

#include <type_traits>

namespace {

constexpr char kSource[] = "api_entries.cc";

template <typename Table, typename Slot>
Slot slot_of(Table *table, Slot Table::*field) {
  return table != nullptr ? table->*field : nullptr;
}

// Calls a slot as a function of exactly the argument types the entry point passes.
template <typename R, typename Slot>
struct SlotCall {
  Slot fn;
  template <typename... A>
  R operator()(A... a) const {
    return reinterpret_cast<R (*)(A...)>(fn)(a...);
  }
};

template <typename R, typename Slot>
SlotCall<R, Slot> call(Slot fn) {
  return {fn};
}

void record_not_connected(unsigned line) { BSP_ApiErrRec(kSource, line, BSP_API_ERR_NOT_CONNECTED); }

}  // namespace

// Bodies by empty answer; `fn` is the slot, `args` the call's parenthesised arguments.
#define BSP_CALL_IF_FILLED(fn, args) \
  if (fn != nullptr) return call<uint32_t>(fn) args;
#define BSP_EMPTY_RULE(fn, args)     \
  BSP_CALL_IF_FILLED(fn, args)       \
  record_not_connected(__LINE__);    \
  return BSP_API_ERR_NOT_CONNECTED;
#define BSP_EMPTY_REC_ZERO(fn, args) \
  BSP_CALL_IF_FILLED(fn, args)       \
  record_not_connected(__LINE__);    \
  return 0;
#define BSP_EMPTY_REC_ONE(fn, args) \
  BSP_CALL_IF_FILLED(fn, args)      \
  record_not_connected(__LINE__);   \
  return 1;
#define BSP_EMPTY_REC_STATUS1(fn, args)     \
  BSP_CALL_IF_FILLED(fn, args)              \
  if (pulStatus != nullptr) *pulStatus = 1; \
  record_not_connected(__LINE__);           \
  return BSP_API_ERR_NOT_CONNECTED;
#define BSP_EMPTY_QUIET_NC(fn, args) \
  BSP_CALL_IF_FILLED(fn, args)       \
  return BSP_API_ERR_NOT_CONNECTED;
#define BSP_EMPTY_QUIET_ZERO(fn, args) \
  BSP_CALL_IF_FILLED(fn, args)         \
  return 0;
#define BSP_EMPTY_VOID_REC(fn, args) \
  if (fn != nullptr) {               \
    call<void>(fn) args;             \
    return;                          \
  }                                  \
  record_not_connected(__LINE__);
#define BSP_EMPTY_VOID_QUIET(fn, args) \
  if (fn != nullptr) call<void>(fn) args;

// The slot is read once, with a plain load; a missing table reads as an empty slot.
#define BSP_ENTRY(table, slot, field, kind, entry, params, args, empty, conn)         \
  BSP_API BSP_SLOT_RESULT_##kind entry params {                                       \
    const auto fn = slot_of(table, &std::remove_pointer_t<decltype(table)>::field); \
    BSP_EMPTY_##empty(fn, args)                                                       \
  }
#define BSP_NO_ENTRY(slot, field, kind, conn)

#define BSP_API_ENTRY(...) BSP_ENTRY(g_pstBspApi, __VA_ARGS__)
#define BSP_CPU_ENTRY(...) BSP_ENTRY(g_pstCpuApiFunc, __VA_ARGS__)
#define BSP_COMMON_ENTRY(...) BSP_ENTRY(g_pstCommonFunc, __VA_ARGS__)

extern "C" {
BSP_API_FUNC_SLOTS(BSP_API_ENTRY, BSP_NO_ENTRY)
BSP_CPU_FUNC_SLOTS(BSP_CPU_ENTRY, BSP_NO_ENTRY)
BSP_COMMON_FUNC_SLOTS(BSP_COMMON_ENTRY, BSP_NO_ENTRY)
}
