#!/usr/bin/env bash
# Boots of the sandboxed board with the real loader and the reference host: the host's
# "boot is good" keeps the loader's boot-attempt count at 0; without it the fourth boot rolls
# back. Runs inside bsp-sandbox only.
#   usage: host_boots.sh SCENARIO   (BOOTLOADER, MKPKG, BSP_SHELL, BSP_LIBRARY, EMULATOR in the environment)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../../tools/board-sim/board-lib.sh
. "$here/../../../tools/board-sim/board-lib.sh"
board_require_sandbox

export BOARD_WORK=/run/bsp-sandbox/bootrec-e2e
mkdir -p "$BOARD_WORK"
cd "$BOARD_WORK" || exit 1
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
has() { [[ $1 == *"$2"* ]]; }

# /dev/loop1 taken by someone else on this machine: the attach and mount become no-ops.
if board_loop1_busy; then
  echo "note: /dev/loop1 is in use on this machine; attach and mount are stand-ins"
  board_stand_in_app_mount
fi
trap 'board_take_down_app' EXIT

installed_board() {
  board_lay_out
  board_make_boot_images /boot/boot_A v1
  board_make_package /mnt/flash/zq.cc v1
}

# The host's start in the main process, with or without marking the boot good.
host_start() {
  HOST_OUT=$(${EMULATOR:-} "$BSP_SHELL" --lib "$BSP_LIBRARY" "$@" 2>&1)
  HOST_STATUS=$?
}

scenario_boot_good() {
  installed_board
  for n in 1 2 3 4 5; do
    board_boot
    check "boot $n: no rollback" '! has "$BOARD_CONSOLE" "RollBack"'
    check "boot $n: this attempt counted" '[ "$(board_fail_count)" = 1 ]'
    host_start --boot-good
    check "boot $n: host started" '[ $HOST_STATUS = 0 ]'
    check "boot $n: boot good clears the count" '[ "$(board_fail_count)" = 0 ]'
  done
  # An update: the loader reboots before any host runs, so two attempts are counted.
  board_make_package /mnt/flash/zq.cc v2
  local reboots
  reboots=$(board_reboot_count)
  board_boot
  check "update boot asks for a reboot" '[ "$(board_reboot_count)" = $((reboots + 1)) ]'
  board_boot
  check "after the update: no rollback" '! has "$BOARD_CONSOLE" "RollBack" && has "$BOARD_CONSOLE" "Now boot from flash:/zq.cc"'
  check "two attempts counted" '[ "$(board_fail_count)" = 2 ]'
  host_start --boot-good
  check "boot good after the update clears the count" '[ "$(board_fail_count)" = 0 ]'
  board_boot
  check "next boot: no rollback" '! has "$BOARD_CONSOLE" "RollBack" && [ "$(board_fail_count)" = 1 ]'
}

scenario_no_boot_good() {
  installed_board
  board_make_package /mnt/flash/other.cc v1 65536 other
  for n in 1 2 3; do
    board_boot
    check "boot $n: no rollback" '! has "$BOARD_CONSOLE" "RollBack"'
    check "boot $n: count $n" '[ "$(board_fail_count)" = $n ]'
    host_start
    check "boot $n: the host alone leaves the count" '[ $HOST_STATUS = 0 ] && [ "$(board_fail_count)" = $n ]'
  done
  board_boot
  check "boot 4 rolls back" 'has "$BOARD_CONSOLE" "Boot Fail.................................3 Times&RollBack"'
  check "count cleared, this attempt counted" '[ "$(board_fail_count)" = 1 ]'
}

scenario=${1:-}
declare -F "scenario_$scenario" > /dev/null || { echo "unknown scenario $scenario" >&2; exit 2; }
"scenario_$scenario"
exit $fail
