// Which startup-file set of the load state word is current: one expression for every user.
#pragma once

#include <bsp/loadstate.h>

namespace bsp::loadstate {

inline LOAD_STATE_WORD_CORE_S &current_set(LOAD_STATE_WORD_S &w) {
  return w.ucCurDiskFlag == 0 ? w.stLoadStateWordCur : w.stLoadStateWordPre;
}
inline LOAD_STATE_WORD_CORE_S &fallback_set(LOAD_STATE_WORD_S &w) {
  return w.ucCurDiskFlag == 0 ? w.stLoadStateWordPre : w.stLoadStateWordCur;
}
inline const LOAD_STATE_WORD_CORE_S &current_set(const LOAD_STATE_WORD_S &w) {
  return w.ucCurDiskFlag == 0 ? w.stLoadStateWordCur : w.stLoadStateWordPre;
}
inline const LOAD_STATE_WORD_CORE_S &fallback_set(const LOAD_STATE_WORD_S &w) {
  return w.ucCurDiskFlag == 0 ? w.stLoadStateWordPre : w.stLoadStateWordCur;
}

// Rollback: the fallback set becomes current without moving any bytes.
inline void swap_roles(LOAD_STATE_WORD_S &w) { w.ucCurDiskFlag = w.ucCurDiskFlag == 0 ? 1 : 0; }

}  // namespace bsp::loadstate
