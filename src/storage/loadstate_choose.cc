// The host's choice of the next startup package (library only).
#include <bsp/boundc.h>
#include <bsp/loadstate.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "storage/flavor.h"
#include "storage/loadstate_sets.h"

namespace {

namespace flavor = bsp::storage::flavor;

constexpr char kSource[] = "loadstate_choose.cc";
constexpr size_t kRecordSize = sizeof(LOAD_STATE_WORD_S);
constexpr size_t kNameField = sizeof(LOAD_STATE_WORD_CORE_S::acPktFileName);

// The heap record buffer, freed on every path.
struct RecordBuffer {
  LOAD_STATE_WORD_S *record = static_cast<LOAD_STATE_WORD_S *>(malloc(kRecordSize));
  ~RecordBuffer() { free(record); }
};

bool holds_name(const LOAD_STATE_WORD_CORE_S &set, const char *name) {
  size_t len = strnlen(name, kNameField);
  return len < kNameField && memcmp(set.acPktFileName, name, len + 1) == 0;
}

}  // namespace

extern "C" {

BSP_API uint32_t BSP_SaveBootFileName(signed char *szFileName) {
  if (szFileName == nullptr) return 1;
  const char *name = reinterpret_cast<const char *>(szFileName);
  RecordBuffer buffer;
  if (buffer.record == nullptr) {
    flavor::console("\r\nMalloc fail!");
    return 1;
  }
  flavor::judge(memset_s(buffer.record, kRecordSize, 0, kRecordSize), "memset_s", kSource, __LINE__);
  flavor::clear_boot_counters();
  if (BSP_GetLoadStateWord(buffer.record) != 0) return 1;

  LOAD_STATE_WORD_CORE_S &current = bsp::loadstate::current_set(*buffer.record);
  if (holds_name(current, name) && current.ucPktValidFlag != 0) return 0;

  // A name that does not fit is refused before anything is saved: the stored record keeps its
  // old, terminated name.
  errno_t copied = strcpy_s(current.acPktFileName, kNameField, name);
  flavor::judge(copied, "strcpy_s", kSource, __LINE__);
  if (copied != 0) return 1;
  current.ucPktValidFlag = 1;
  return BSP_SetLoadStateWord(buffer.record) == 0 ? 0 : 1;
}

BSP_API uint32_t BSP_SaveStateLoadWordtoMem(LOAD_STATE_WORD_S *pLoadStateWordAddrSrc) { return 0; }

}  // extern "C"
