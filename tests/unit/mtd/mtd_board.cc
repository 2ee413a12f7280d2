#include "mtd_board.h"

#include <bsp/flash.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <sstream>

#include "support/board_fs.h"
#include "support/capture.h"

namespace mtd_test {
namespace {

std::string path_of(const std::string &name) { return std::string(kDir) + "/" + name; }

template <typename Fn>
Fn double_function(const char *name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

pthread_mutex_t *front_lock() {
  static pthread_mutex_t *lock = [] {
    auto watch = double_function<void (*)(int)>("mtdd_watch_front_lock");
    auto found = double_function<void *(*)()>("mtdd_front_lock");
    if (watch == nullptr || found == nullptr) return static_cast<pthread_mutex_t *>(nullptr);
    watch(1);
    FLASH_InitFlashDrv();
    watch(0);
    return static_cast<pthread_mutex_t *>(found());
  }();
  return lock;
}

bool front_lock_free() {
  pthread_mutex_t *lock = front_lock();
  if (lock == nullptr || pthread_mutex_trylock(lock) != 0) return false;
  pthread_mutex_unlock(lock);
  return true;
}

Board::Board() {
  setenv("BSP_MTDD_DIR", kDir, 1);
  bsp::test::sh(std::string("rm -rf ") + kDir + " && mkdir -p " + kDir);
  EXPECT_NE(nullptr, front_lock()) << "the flash front lock was not seen: is the double preloaded?";
}

void Board::file(const std::string &name, const std::string &bytes) { bsp::test::write_file(path_of(name), bytes); }

std::string Board::file(const std::string &name) const { return bsp::test::read_file(path_of(name)); }

void Board::remove(const std::string &name) { unlink(path_of(name).c_str()); }

void Board::partitions(const std::string &proc_mtd) {
  file("proc_mtd", proc_mtd);
  FLASH_InitFlashDrv();
  clear_log();
}

Call Board::call(const std::function<uint64_t()> &fn) {
  Call c;
  c.err = bsp::test::capture_stderr([&] { c.out = bsp::test::capture_stdout([&] { c.rc = fn(); }); });
  EXPECT_TRUE(front_lock_free()) << "the front lock is still held after the call";
  return c;
}

std::vector<std::string> Board::log(const std::string &filter) const {
  std::vector<std::string> lines;
  std::istringstream in(file("log"));
  for (std::string line; std::getline(in, line);) {
    if (filter.empty() || line.find(filter) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

void Board::expect_device_access_locked() const {
  for (const std::string &line : log("/dev/")) {
    EXPECT_NE(std::string::npos, line.find("lock=held")) << line;
  }
}

std::string pattern(size_t size, uint32_t erase, unsigned char seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i / erase);
  return bytes;
}

std::string block(const std::string &device, size_t index, uint32_t erase) {
  return device.substr(index * erase, erase);
}

::testing::AssertionResult same_bytes(const std::string &expect, const std::string &actual) {
  if (expect == actual) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < expect.size() && at < actual.size() && expect[at] == actual[at]) ++at;
  auto byte = [](const std::string &s, size_t i) {
    char b[8];
    snprintf(b, sizeof b, i < s.size() ? "0x%02x" : "end", i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
    return std::string(b);
  };
  return ::testing::AssertionFailure() << "lengths " << expect.size() << " and " << actual.size()
                                       << ", first difference at 0x" << std::hex << at << ": expected "
                                       << byte(expect, at) << ", got " << byte(actual, at);
}

}  // namespace mtd_test
