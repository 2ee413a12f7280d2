// Judging the two pieces areas as BSP_VfsPiecesAreaInit does, for tools that only look.
#include "storage/pieces_inspect.h"

#include <bsp/crc.h>

#include "storage/pieces_state.h"

namespace bsp::storage::pieces {
namespace {

bool all_zero(const uint8_t *p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

AreaInspection inspect_area(const uint8_t *area) {
  AreaInspection a;
  if (area == nullptr) return a;
  const uint32_t size = g_ulPieceSize;
  auto *image = const_cast<uint8_t *>(area);  // the checks take a mutable image; nothing is changed
  Volume volume(image, size);
  const auto &head = *reinterpret_cast<const PIECES_HEAD_S *>(area);
  a.stamped = head.ulValidFlag == kValidFlag;
  a.stored_crc = static_cast<uint16_t>(static_cast<uint32_t>(head.ulCrc));
  // The table is looked at whatever the stamp says: a damaged area may still hold its files.
  a.formatted = volume.has_magic() && volume.consistent();
  for (uint32_t i = 0; a.formatted && i < volume.count(); ++i) {
    if (volume.des(i).ulUsedFlag == kUsedFlag) ++a.files;
  }
  uint16_t crc = 0;
  a.accepted = check_area(image, &crc, Report::Quiet) == 0;
  if (a.accepted) {
    a.computed_crc = crc;
    a.state = a.formatted ? AreaState::Good : AreaState::Blank;
    return a;
  }
  a.computed_crc = BSP_Crc16Cal(image + kHeadOffset, size - kHeadOffset);
  if (!a.stamped && all_zero(area, size)) {
    a.state = AreaState::Empty;
    return a;
  }
  a.state = AreaState::Damaged;
  if (!a.stamped) {
    a.damage = Damage::NotStamped;
  } else if (static_cast<uint32_t>(head.ulCrc) != a.computed_crc) {
    a.damage = Damage::Crc;
  } else {
    a.damage = Damage::Layout;
  }
  return a;
}

}  // namespace

PiecesInspection inspect_areas(const uint8_t *main, const uint8_t *spare) {
  PiecesInspection r;
  r.main = inspect_area(main);
  r.spare = inspect_area(spare);
  if (r.main.accepted) {
    r.source = Source::Main;
    r.served = main;
    r.areas_agree = r.spare.accepted && r.main.computed_crc == r.spare.computed_crc;
    r.repair = r.areas_agree ? Repair::None : Repair::Spare;
  } else if (spare == nullptr) {
    r.source = Source::None;
  } else if (r.spare.accepted) {
    r.source = Source::Spare;
    r.served = spare;
    r.repair = Repair::Main;
  } else {
    // Restamped as read; an unreadable main area leaves the zeros of a fresh image.
    r.source = Source::MainRestamped;
    r.served = main;
    r.repair = Repair::Both;
  }
  // The file system start-up keeps: a header with the magic over a layout it can follow.
  if (r.served != nullptr) {
    Volume served(const_cast<uint8_t *>(r.served), g_ulPieceSize);
    r.keeps_files = served.has_magic() && served.consistent();
  }
  return r;
}

}  // namespace bsp::storage::pieces
