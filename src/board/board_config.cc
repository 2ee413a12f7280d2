// Board configuration database: records keyed by board type and PCB version, and the lookup
// that picks this board's record.
#include <bsp/board.h>

namespace {
constexpr uint32_t kBoardTypeMask = 0xFFF;
constexpr unsigned kPcbShift = 12;
constexpr uint32_t kEndKey = 0xFFFFFFFF;

uint32_t board_type(uint32_t key) { return key & kBoardTypeMask; }
uint32_t pcb_version(uint32_t key) { return key >> kPcbShift; }
bool is_end(const BoardCfgDbItem &item) { return item.pItemData == nullptr; }
}  // namespace

extern "C" {
BSP_API ZQBoardConfig_Var g_ZQDefaultCfg = {nullptr};
BSP_API BoardCfgDbItem g_ZQBoardCfgList[3] = {
    {0x000, &g_ZQDefaultCfg},
    {0x099, &g_ZQDefaultCfg},
    {0, nullptr},
};
BSP_API ZQBoardConfig_Var *pBoardConfig = nullptr;
BSP_API ZQBoardConfig_Var *pDefaultConfig = nullptr;

BSP_API void *BCDB_GetBoardCfgDB(BoardCfgDbItem *pDbData, uint32_t u32Key) {
  if (pDbData == nullptr) return nullptr;
  const uint32_t type = board_type(u32Key);
  uint32_t newest = 0;
  for (const BoardCfgDbItem *item = pDbData; !is_end(*item); ++item) {
    if (board_type(item->u32Key) == type && pcb_version(item->u32Key) > newest) newest = pcb_version(item->u32Key);
  }
  // A PCB newer than any known one takes the newest known record of its board type.
  const bool fall_back = pcb_version(u32Key) > newest;
  for (const BoardCfgDbItem *item = pDbData; !is_end(*item); ++item) {
    const bool wanted = fall_back ? board_type(item->u32Key) == type && pcb_version(item->u32Key) == newest
                                  : item->u32Key == u32Key;
    if (wanted) return item->pItemData;
  }
  return pDbData[0].pItemData;
}

BSP_API void *BCDB_GetBoardCfgDBEndByKey(BoardCfgDbItem *pDbData, uint32_t u32Key) {
  if (pDbData == nullptr) return nullptr;
  const BoardCfgDbItem *item = pDbData;
  while (item->u32Key != u32Key && item->u32Key != kEndKey) ++item;
  return item->pItemData;
}

BSP_API void BCDB_InitBoardCfg(uint32_t u32BoardId) {
  pBoardConfig = static_cast<ZQBoardConfig_Var *>(BCDB_GetBoardCfgDB(g_ZQBoardCfgList, u32BoardId));
  pDefaultConfig = static_cast<ZQBoardConfig_Var *>(g_ZQBoardCfgList[0].pItemData);
}

}  // extern "C"
