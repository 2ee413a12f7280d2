/* The board API, board information and probe headers are C headers too. */
#include <bsp/api.h>
#include <bsp/board.h>
#include <bsp/probe.h>

uint32_t board_headers_c_check(void);

uint32_t board_headers_c_check(void) {
  API_FUNC_S table = {0};
  table.pFuncIsVirtualInsertValid = TIV_StubIsVirtualInsertValid;
  return (uint32_t)sizeof(table) + BSP_API_ERR_NOT_CONNECTED + (uint32_t)sizeof(FLASH_FILE_INFO) +
         (uint32_t)sizeof(BDIF_BoardInfo) + (table.pFuncIsVirtualInsertValid != 0);
}
