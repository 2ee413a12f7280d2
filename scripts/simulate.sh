#!/usr/bin/env bash
# The board simulator: builds the tree, lays out (or reuses) a persistent board folder and
# runs it on the sandboxed board. Usage: scripts/simulate.sh [BOARD_DIR] [-- bsp-shell args]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
build=${BSP_BUILD_DIR:-$top/build/sim}
cmake -S . -B "$build" -G Ninja -DBSP_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" > /dev/null
board=${1:-$top/board}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
mkdir -p "$board"
board=$(cd "$board" && pwd)
export BSP_LIBRARY="$build/src/libbsp.so"
exec tools/sandbox/bsp-sandbox --board "$board" --record "$board/reboot.log" -- \
  "$build/tools/bsp-shell/bsp-shell" "$@"
