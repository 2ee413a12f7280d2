// The board's source of the board-information word. This x86 board has none: the word stays
// as the caller set it (0), and the decoder runs on it as on any other board.
#include <bsp/board.h>

extern "C" BSP_API uint32_t BDIF_GetBdInfoValue(uint32_t *pu32BdInfo) { return 0; }
