#!/usr/bin/env bash
# The board simulator's inside part, run by scripts/simulate.sh within bsp-sandbox on a board
# folder: installs software v1 on a new board, optionally builds a new package and lets the
# host choose it, then boots with the real loader, one reboot after the other, until the
# application image is mounted, and starts the reference host, which marks the boot good.
#   usage: simulate-board.sh [--new VERSION] [-- bsp-shell args]
# Environment: BOOTLOADER, MKPKG, BSP_SHELL, BSP_CHOOSE, BSP_LIBRARY, BOARD_CMDLINE.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=board-lib.sh
. "$here/board-lib.sh"
board_require_sandbox
export BOARD_WORK=/run/bsp-sandbox/sim
mkdir -p "$BOARD_WORK"

new=""
while [ $# -gt 0 ]; do
  case "$1" in
    --new) new=${2:?--new needs a version}; shift 2 ;;
    --) shift; break ;;
    *) echo "simulate-board: unknown option $1" >&2; exit 2 ;;
  esac
done
shell_args=("$@")

say() { printf '\n== %s\n' "$*"; }
show_console() { printf '%s\n' "$1" | tr -d '\r' | sed '/^[[:space:]]*$/d; s/^/   | /'; }
efs_crc() { [ -f "$1" ] && od -An -tu2 -j 64 -N 2 "$1" | tr -d ' ' || echo "-"; }
show_board() {
  local s
  for s in A B; do
    printf '   /boot/boot_%s: kernel %s (code CRC %s), rootfs %s (code CRC %s)\n' "$s" \
      "$(head -n 1 /boot/boot_$s/bzImage 2>/dev/null | cut -d' ' -f2)" "$(efs_crc /boot/boot_$s/bzImage.efs)" \
      "$(head -n 1 /boot/boot_$s/rootfs.gz 2>/dev/null | cut -d' ' -f2)" "$(efs_crc /boot/boot_$s/rootfs.gz.efs)"
  done
  printf '   GRUB boots subarea %s; boot attempts counted: %s; package search index: %s\n' \
    "$(board_current_subarea)" "$(board_fail_count 2>/dev/null)" "$(board_search_index 2>/dev/null)"
}
trap 'board_take_down_app' EXIT
if board_loop1_busy; then
  say "/dev/loop1 is in use on this machine: the loader could not attach the application image"
  exit 1
fi

# Boots until the application image is mounted, rebooting whenever the loader asks.
boot=0
boot_until_mounted() {
  local before
  while :; do
    boot=$((boot + 1))
    if [ $boot -gt 6 ]; then
      say "Still no application image after 6 boots; giving up (see /mnt/flash/boot_log.txt)"
      exit 1
    fi
    before=$(board_reboot_count)
    say "Boot $boot: GRUB starts subarea $(board_current_subarea); kernel command line: $(board_cmdline_from_grub)"
    board_boot
    show_console "$BOARD_CONSOLE"
    if [ "$(board_reboot_count)" -gt "$before" ]; then
      say "The loader asked for a reboot"
      show_board
      continue
    fi
    if mountpoint -q /mnt/squash; then
      say "Application image mounted at /mnt/squash: $(sh /mnt/squash/bin/app)"
      return 0
    fi
    say "The loader finished without a mounted application image and without a reboot"
    exit 1
  done
}

if [ ! -e /mnt/misc/flashfile ] && [ ! -e /mnt/flash/zq.cc ]; then
  say "New board: /mnt/flash, /mnt/misc, /mnt/squash, /boot/boot_A, /boot/boot_B, /boot/grub/grub.cfg"
  board_lay_out
  say "Installing software v1: kernel and root file system into /boot/boot_A, startup package /mnt/flash/zq.cc"
  board_make_boot_images /boot/boot_A v1 || exit 1
  board_make_package /mnt/flash/zq.cc v1 || exit 1
  if [ -n "$new" ]; then
    say "First boot of the installed software, before the new package"
    boot_until_mounted
    ${EMULATOR:-} "$BSP_SHELL" --boot-good < /dev/null > /dev/null 2>&1
  fi
else
  board_lay_out
  say "Reusing the board"
  show_board
fi

if [ -n "$new" ]; then
  say "Building startup package $new as /mnt/flash/$new.cc (kernel, root file system, squashfs application image)"
  board_make_package "/mnt/flash/$new.cc" "$new" || exit 1
  say "The host chooses flash:/$new.cc for the next boot (BSP_SaveBootFileName)"
  ${EMULATOR:-} "$BSP_CHOOSE" "flash:/$new.cc" 2>&1 | tr -d '\r' | grep -v '^[[:space:]]*$' | sed 's/^/   | /'
  [ "${PIPESTATUS[0]}" = 0 ] || { say "The host could not choose the package"; exit 1; }
fi

boot_until_mounted

show_board
say "Starting the reference host: bsp-shell --boot-good ${shell_args[*]}"
${EMULATOR:-} "$BSP_SHELL" --boot-good "${shell_args[@]}"
rc=$?
say "The host marked the boot good; bsp-shell exit status $rc"
show_board
exit $rc
