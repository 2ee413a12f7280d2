#!/usr/bin/env bash
# The board simulator's run on a new board folder: from nothing to a mounted application
# image, then a new package chosen through the host and the two-boot update.
#   usage: simulator_e2e.sh BUILD_DIR [EMULATOR]
set -u
build=$1 emulator=${2:-}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
board=$(mktemp -d /tmp/bsp-sim-e2e.XXXXXX)
trap 'rm -rf "$board"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
# shellcheck source=../../../tools/board-sim/board-lib.sh
. "$top/tools/board-sim/board-lib.sh"
# The simulator needs the real mount; a device someone else holds cannot be stood in for here.
if board_loop1_busy; then
  echo "skipped: /dev/loop1 is in use on this machine ($(losetup -n -O BACK-FILE /dev/loop1))"
  exit 77
fi

simulate() {
  echo "BOOT_IMAGE=/boot_A/bzImage" > "$board/cmdline"
  "$top/tools/sandbox/bsp-sandbox" --board "$board" --cmdline "$board/cmdline" --record "$board/reboot.log" -- \
    env BOOTLOADER="$build/src/loader/bootloader" MKPKG="$build/tools/board-sim/bsp-mkpkg" \
        BSP_SHELL="$build/tools/bsp-shell/bsp-shell" BSP_BOOT="$build/tools/bsp-boot/bsp-boot" \
        BSP_LIBRARY="$build/src/libbsp.so" BOARD_CMDLINE="$board/cmdline" EMULATOR="$emulator" \
    bash "$top/tools/board-sim/simulate-board.sh" "$@" < /dev/null 2>&1
}

out=$(simulate -- -c "bsp show pieces")
rc=$?
echo "$out" | sed 's/^/  /'
check "first run succeeds" '[ $rc = 0 ]'
check "a new board is laid out and v1 installed" '[[ $out == *"New board"* && $out == *"Installing software v1"* ]]'
check "v1 application mounted after one boot" '[[ $out == *"Application image mounted at /mnt/squash: router application v1"* ]]'
check "the boot status is shown after the boot" '[[ $out == *"Boot status (bsp-boot status)"* && $out == *"application image: mounted at /mnt/squash"* ]]'
check "the boot is marked good" '[[ $out == *"boot marked good: boot-attempt count 1 -> 0"* ]]'
check "the host ran" '[[ $out == *"The reference host ended; bsp-shell exit status 0"* ]]'
check "the board persists" '[ -f "$board/mnt/flash/zq.cc" ] && [ -f "$board/mnt/misc/flashfile" ] && [ -f "$board/boot/boot_B/rootfs.gz.efs" ]'

out=$(simulate --new v2)
rc=$?
echo "$out" | sed 's/^/  /'
check "second run succeeds" '[ $rc = 0 ]'
check "the board is reused" '[[ $out == *"Reusing the board"* ]]'
check "the new package is chosen" '[[ $out == *"next boot: flash:/v2.cc"* ]]'
check "boot 1 updates B and asks for a reboot" '[[ $out == *"Update rootfs.gz !!!"* && $out == *"The loader asked for a reboot"* ]]'
check "boot 2 runs from B and mounts v2" '[[ $out == *"Boot 2: GRUB starts subarea B"* && $out == *"router application v2"* ]]'
check "the status after boot 1 shows the switch to B" '[[ ${out%%Boot 2:*} == *"running subarea: A (kernel command line); next boot: subarea B (grub.cfg)"* ]]'
check "the status after boot 2 shows B running" '[[ ${out##*Boot 2:} == *"running subarea: B (kernel command line); next boot: subarea B (grub.cfg)"* ]]'
check "both subareas hold v2" 'cmp -s "$board/boot/boot_A/rootfs.gz" "$board/boot/boot_B/rootfs.gz" && head -n 1 "$board/boot/boot_A/rootfs.gz" | grep -qx "rootfs v2"'
# A new board asked for a new package at once: the installed software boots first.
rm -rf "$board" && mkdir -p "$board"
out=$(simulate --new v5)
rc=$?
echo "$out" | sed 's/^/  /'
check "new board with a new package succeeds" '[ $rc = 0 ]'
check "the installed v1 boots before the new package" '[[ $out == *"router application v1"* && $out == *"router application v5"* ]]'
check "both subareas hold v5" 'cmp -s "$board/boot/boot_A/bzImage" "$board/boot/boot_B/bzImage" && head -n 1 "$board/boot/boot_A/bzImage" | grep -qx "kernel v5"'
[ $fail = 0 ] && echo "simulator: all checks passed"
exit $fail
