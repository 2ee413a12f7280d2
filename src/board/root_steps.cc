// Binds each start-up step to the subsystem that owns it.
#include "board/root_steps.h"

#include <stdio.h>

namespace bsp::root {

void init_checksums() {}
void init_board_config() {}
void init_flash_front() {}
void create_flash_file(const char *) {}
void init_pieces() {}
uint32_t init_flash_dynamic() { return 0; }
void init_api_tables() {}
void init_debug_commands() {}

void print_build_stamp(char *buffer, const char *date, const char *time) {
  snprintf(buffer, 256, "\r\n Bsp so creation Data : %s, %s\r\n", date, time);
}

}  // namespace bsp::root
