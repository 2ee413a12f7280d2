// The board API tables: their layout, their allocation once per process, and the slots this
// board connects. Everything is generated from the slot lists of <bsp/api_slots.h>.
#include <bsp/api.h>
#include <bsp/boundc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <bsp/seclog.h>
#include <bsp/stub.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

extern "C" {
BSP_API API_FUNC_S *g_pstBspApi = nullptr;
BSP_API CPU_FUNC_S *g_pstCpuApiFunc = nullptr;
BSP_API COMMON_FUNC_S *g_pstCommonFunc = nullptr;
BSP_API USER_FUNC_S *g_pstUserFunc = nullptr;
}

namespace {

constexpr char kSource[] = "api_tables.cc";

// The host fills slots by field: slot i must sit at i pointers from the start, in every build.
#define BSP_CHECK_SLOT(table, slot, field) \
  static_assert(offsetof(table, field) == (slot) * sizeof(void *) && sizeof(table::field) == sizeof(void *), #field);
#define BSP_CHECK_API(slot, field, ...) BSP_CHECK_SLOT(API_FUNC_S, slot, field)
#define BSP_CHECK_CPU(slot, field, ...) BSP_CHECK_SLOT(CPU_FUNC_S, slot, field)
#define BSP_CHECK_COMMON(slot, field, ...) BSP_CHECK_SLOT(COMMON_FUNC_S, slot, field)
#define BSP_CHECK_USER(slot, field, ...) BSP_CHECK_SLOT(USER_FUNC_S, slot, field)
BSP_API_FUNC_SLOTS(BSP_CHECK_API, BSP_CHECK_API)
BSP_CPU_FUNC_SLOTS(BSP_CHECK_CPU, BSP_CHECK_CPU)
BSP_COMMON_FUNC_SLOTS(BSP_CHECK_COMMON, BSP_CHECK_COMMON)
BSP_USER_FUNC_SLOTS(BSP_CHECK_USER, BSP_CHECK_USER)

#define BSP_COUNT_SLOT(...) +1
static_assert(sizeof(API_FUNC_S) == 110 * sizeof(void *) && 0 BSP_API_FUNC_SLOTS(BSP_COUNT_SLOT, BSP_COUNT_SLOT) == 110);
static_assert(sizeof(CPU_FUNC_S) == 8 * sizeof(void *) && 0 BSP_CPU_FUNC_SLOTS(BSP_COUNT_SLOT, BSP_COUNT_SLOT) == 8);
static_assert(sizeof(COMMON_FUNC_S) == 2 * sizeof(void *) &&
              0 BSP_COMMON_FUNC_SLOTS(BSP_COUNT_SLOT, BSP_COUNT_SLOT) == 2);
static_assert(sizeof(USER_FUNC_S) == 4 * sizeof(void *) && 0 BSP_USER_FUNC_SLOTS(BSP_COUNT_SLOT, BSP_COUNT_SLOT) == 4);

// Allocates and clears a table that does not exist yet; an existing one is left as it is.
template <typename Table>
void allocate(Table *&table, const char *failure) {
  if (table != nullptr) return;
  table = static_cast<Table *>(malloc(sizeof(Table)));
  if (table == nullptr) {
    puts(failure);
    return;
  }
  DRV_SecJudge(memset_s(table, sizeof(Table), 0, sizeof(Table)), const_cast<char *>("memset_s"),
               const_cast<char *>(kSource), __LINE__);
}

struct Keep {};
struct Clear {};

template <typename Slot>
void connect(Slot &, Keep) {}
template <typename Slot>
void connect(Slot &slot, Clear) {
  slot = nullptr;
}
template <typename Slot, typename R, typename... A>
void connect(Slot &slot, R (*fn)(A...)) {
  slot = reinterpret_cast<Slot>(fn);
}

#define BSP_CONN_SET(fn) &fn
#define BSP_CONN_CLEAR Clear{}
#define BSP_CONN_KEEP Keep{}
#define BSP_CONNECT_E(slot, field, kind, entry, params, args, empty, conn) BSP_CONNECT_S(slot, field, kind, conn)
#define BSP_CONNECT_S(slot, field, kind, conn) connect(table->field, BSP_CONN_##conn);

}  // namespace

extern "C" {

BSP_API void BSP_InitTiv(void) {
  allocate(g_pstBspApi, "Alloc memory for API_FUNC_S FAIL\r");
  allocate(g_pstCpuApiFunc, "Alloc memory for CPU_FUNC_S FAIL\r");
  allocate(g_pstCommonFunc, "Alloc memory for COMMON_FUNC_S FAIL\r");
  allocate(g_pstUserFunc, "Alloc memory for USER_FUNC_S FAIL\r");
  BSP_ConnectAPI();
}

BSP_API void BSP_ConnectAPI(void) {
  // Without the table (no root yet, or its allocation failed) every entry point answers as
  // for an empty slot; there is nothing to connect.
  API_FUNC_S *const table = g_pstBspApi;
  if (table == nullptr) return;
  BSP_API_FUNC_SLOTS(BSP_CONNECT_E, BSP_CONNECT_S)
}

}  // extern "C"
