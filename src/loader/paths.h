// Fixed places of the board the loader works on.
#pragma once

#include <stdint.h>

namespace bsp::loader {

inline constexpr const char *kBootLog = "/mnt/flash/boot_log.txt";
inline constexpr const char *kBootLogBackup = "/mnt/flash/boot_log_bak.txt";
inline constexpr int64_t kBootLogRotateSize = 0x400000;

inline constexpr const char *kFlashDir = "/mnt/flash";
inline constexpr const char *kFlashDirPrefix = "/mnt/flash/";
inline constexpr const char *kVfsPrefix = "flash:/";
inline constexpr const char *kCmdlinePath = "/proc/cmdline";
inline constexpr const char *kSubareaA = "/boot/boot_A/";
inline constexpr const char *kSubareaB = "/boot/boot_B/";

inline constexpr int32_t kPathSize = 256;
inline constexpr int32_t kPktNameSize = 65;  // acPktFileName
inline constexpr int32_t kCandidateSize = 70;

}  // namespace bsp::loader
