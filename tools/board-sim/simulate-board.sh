#!/usr/bin/env bash
# The board simulator's inside part, run by scripts/simulate.sh within bsp-sandbox on a board
# folder: installs software v1 on a new board, optionally builds a new package and chooses it
# (bsp-boot choose), then boots with the real loader, one reboot after the other, showing the
# boot status (bsp-boot status) after each boot, until the application image is mounted; then
# it marks the boot good (bsp-boot mark-good) and starts the reference host.
#   usage: simulate-board.sh [--new VERSION] [-- bsp-shell args]
# Environment: BOOTLOADER, MKPKG, BSP_SHELL, BSP_BOOT, BSP_LIBRARY, BOARD_CMDLINE.
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
indent() { tr -d '\r' | sed 's/^/   | /'; }
show_status() {
  say "Boot status (bsp-boot status)"
  ${EMULATOR:-} "$BSP_BOOT" status 2>&1 | sed 's/^/   /'
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
      show_status
      continue
    fi
    if mountpoint -q /mnt/squash; then
      say "Application image mounted at /mnt/squash: $(sh /mnt/squash/bin/app)"
      show_status
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
    say "The installed software works (bsp-boot mark-good)"
    ${EMULATOR:-} "$BSP_BOOT" mark-good 2>&1 | indent
  fi
else
  board_lay_out
  say "Reusing the board"
  show_status
fi

if [ -n "$new" ]; then
  say "Building startup package $new as /mnt/flash/$new.cc (kernel, root file system, squashfs application image)"
  board_make_package "/mnt/flash/$new.cc" "$new" || exit 1
  say "Choosing flash:/$new.cc for the next boot (bsp-boot choose, through BSP_SaveBootFileName)"
  ${EMULATOR:-} "$BSP_BOOT" choose "flash:/$new.cc" 2>&1 | indent
  [ "${PIPESTATUS[0]}" = 0 ] || { say "The package could not be chosen"; exit 1; }
fi

boot_until_mounted

say "The software works: the boot is marked good (bsp-boot mark-good)"
${EMULATOR:-} "$BSP_BOOT" mark-good 2>&1 | indent
[ "${PIPESTATUS[0]}" = 0 ] || { say "The boot could not be marked good"; exit 1; }
say "Starting the reference host: bsp-shell ${shell_args[*]}"
${EMULATOR:-} "$BSP_SHELL" "${shell_args[@]}"
rc=$?
say "The reference host ended; bsp-shell exit status $rc"
exit $rc
