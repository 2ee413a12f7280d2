#pragma once

#include <string>

namespace bsp::test {

// Empties /mnt and /boot of the sandboxed board (their tmpfs mounts stay).
void reset_board();

bool file_exists(const std::string &path);
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &data);
// Runs a shell command on the board; returns its exit status.
int sh(const std::string &command);

}  // namespace bsp::test
