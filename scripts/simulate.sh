#!/usr/bin/env bash
# The board simulator: builds the tree, lays out (or reuses) a persistent board folder and
# boots it on the sandboxed board with the real loader, one simulated reboot after the other,
# showing the boot status (bsp-boot status) after each boot, until the application image is
# mounted; then it marks the boot good (bsp-boot mark-good) and starts the reference host.
#   usage: scripts/simulate.sh [BOARD_DIR] [--new VERSION] [-- bsp-shell args]
#     BOARD_DIR      the board's /mnt and /boot are kept here (default ./board)
#     --new VERSION  build startup package VERSION.cc, choose it (bsp-boot choose), then boot
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
caller=$PWD
cd "$top"

board=$top/board
sim_args=()
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  case "$1" in /*) board=$1 ;; *) board=$caller/$1 ;; esac
  shift
fi
while [ $# -gt 0 ]; do
  case "$1" in
    --new) sim_args+=(--new "${2:?--new needs a version}"); shift 2 ;;
    --) break ;;
    -h | --help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "simulate.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
build=${BSP_BUILD_DIR:-$top/build/sim}
cmake -S . -B "$build" -G Ninja -DBSP_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --target bootloader bsp bsp-shell bsp-mkpkg bsp-boot > /dev/null

mkdir -p "$board"
board=$(cd "$board" && pwd)
# The kernel command line GRUB gives; the simulator rewrites it at each boot.
[ -f "$board/cmdline" ] || echo "BOOT_IMAGE=/boot_A/bzImage" > "$board/cmdline"

exec tools/sandbox/bsp-sandbox --board "$board" --cmdline "$board/cmdline" --record "$board/reboot.log" -- \
  env BOOTLOADER="$build/src/loader/bootloader" MKPKG="$build/tools/board-sim/bsp-mkpkg" \
      BSP_SHELL="$build/tools/bsp-shell/bsp-shell" BSP_BOOT="$build/tools/bsp-boot/bsp-boot" \
      BSP_LIBRARY="$build/src/libbsp.so" BOARD_CMDLINE="$board/cmdline" \
  bash tools/board-sim/simulate-board.sh "${sim_args[@]}" "$@"
