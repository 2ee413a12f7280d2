// The start-up steps a root runs, in order. Each subsystem wires its own step here.
#pragma once

#include <stdint.h>

namespace bsp::root {

void init_checksums();
void init_board_config();
void init_flash_front();
void create_flash_file(const char *path);
void init_pieces();
uint32_t init_flash_dynamic();
void init_api_tables();
void init_debug_commands();

// Writes the build stamp line into a 256-byte buffer.
void print_build_stamp(char *buffer, const char *date, const char *time);

}  // namespace bsp::root
