// State of the pieces file system in this process, and helpers shared by its modules.
#pragma once

#include <stdint.h>

#include "storage/flavor.h"
#include "storage/pieces_layout.h"

namespace bsp::storage::pieces {

inline constexpr char kSource[] = "bsp/common/flashPiece";
inline constexpr uint32_t kPauseMs = 10;

extern uint32_t g_ulPieceAddrMain;
extern uint32_t g_ulPieceAddrSpare;
extern uint32_t g_ulPieceSize;                  // S, the size of one area
extern uint8_t *g_pucPieceBuff;                 // the RAM image
extern uint8_t *g_pucBuffTmp;                   // scratch of S bytes
extern PIECES_FILE_HEAD *g_pstPieceFileHead;    // set once the header is accepted or formatted
extern PIECES_FILE_DES *g_pstPieceFileDes;
extern void *g_ulSemPiece;                      // the pieces lock
extern uint8_t *g_pucPieceSynced;               // the area as this process last saw it on flash

inline Volume ram_volume() { return Volume(g_pucPieceBuff, g_ulPieceSize); }

// Records a failure and gives the result this build reports for it.
inline uint32_t failed(uint32_t code, unsigned line) {
  flavor::record_error(kSource, line, code);
  return flavor::fail(code);
}

class FileLock;

uint32_t BSP_VfsPiecesAreaInit();
// The commit; nothing reaches flash unless `held` holds the lock on the flash emulation file.
uint32_t BSP_VfsPiecesMemToFlash(const FileLock &held);
uint32_t BSP_VfsPiecesFileLookUp(const char *pcPieceName, uint32_t *pulFileIndex);
uint32_t BSP_VfsPiecesFileCreate(const char *pcPieceName, uint64_t ulFileLength, uint32_t *pulFileIndex);

// Checks an area image of S bytes: stamp, CRC, room for the header and descriptor table, and
// (for an area carrying the format's magic) its layout. Loud reports as BSP_VfsPieceCheck does
// and records the failure; Quiet only gives the result. 0 and the area's CRC when it is good.
enum class Report { Loud, Quiet };
uint32_t check_area(uint8_t *image, uint16_t *crc, Report report = Report::Loud);

enum class RawOp { Read, MemWrite, Write };
// Copies between a caller's buffer and the RAM image at an area offset (no lock, no commit).
uint32_t raw_copy(RawOp op, unsigned char *buf, unsigned long offset, unsigned long len);

// Writes the RAM image to one area with the pauses of a commit around it (under `held`).
uint32_t write_area(uint32_t flash_offset, const FileLock &held);

}  // namespace bsp::storage::pieces
