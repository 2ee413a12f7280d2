# Shell functions for a board run on the sandboxed board (bsp-sandbox): lay it out, build
# images and startup packages, boot it with the real loader, simulate reboots. Sourced by the
# board simulator and the loader's end-to-end tests; they run only inside bsp-sandbox.
#
# Expects: BOOTLOADER (the loader binary), MKPKG (bsp-mkpkg), optional EMULATOR (qemu-i386
# for a 32-bit build), BSP_REBOOT_RECORD (set by bsp-sandbox).

board_inside_sandbox() {
  [ "${BSP_SANDBOXED:-}" = 1 ] && [ "$(reboot --bsp-standin-check 2>/dev/null)" = "bsp reboot stand-in" ]
}

board_require_sandbox() {
  board_inside_sandbox || { echo "refusing to run: not inside bsp-sandbox" >&2; exit 3; }
}

# The folders of a board and a GRUB configuration naming boot_A. Existing content is kept.
board_lay_out() {
  mkdir -p /mnt/flash /mnt/squash /boot/boot_A /boot/boot_B /boot/grub
  [ -s /boot/grub/grub.cfg ] || cat > /boot/grub/grub.cfg <<'GRUB'
set default=0
set timeout=0
menuentry 'router' {
  linux /boot_A/bzImage root=/dev/ram0 console=ttyS0,115200 quiet
  initrd /boot_A/rootfs.gz
}
GRUB
}

# The kernel command line GRUB would give the kernel it boots now.
board_cmdline_from_grub() {
  sed -n 's/^[[:space:]]*linux[[:space:]]\{1,\}\([^[:space:]]*\)\(.*\)$/BOOT_IMAGE=\1\2/p' /boot/grub/grub.cfg | head -n 1
}

board_current_subarea() {
  case "$(board_cmdline_from_grub | cut -c1-20)" in *"/boot_A"*) echo A ;; *) echo B ;; esac
}

# Puts the text in the command line fixture (BOARD_CMDLINE, or one of our own) and binds the
# fixture over /proc/cmdline unless something already is (bsp-sandbox --cmdline).
board_set_cmdline() {
  local fixture=${BOARD_CMDLINE:-${BOARD_WORK:-/run/bsp-sandbox}/cmdline}
  printf '%s\n' "$1" > "$fixture"
  if ! mountpoint -q /proc/cmdline 2> /dev/null && ! findmnt -n /proc/cmdline > /dev/null 2>&1; then
    mount --bind "$fixture" /proc/cmdline
  fi
}

# A directory tree made into a squashfs application image.
board_make_app_image() {  # board_make_app_image OUT VERSION
  local out=$1 version=$2 src
  src=$(mktemp -d)
  mkdir -p "$src/bin" "$src/etc"
  printf '%s\n' "$version" > "$src/etc/version"
  printf '#!/bin/sh\necho "router application %s"\n' "$version" > "$src/bin/app"
  chmod 755 "$src/bin/app"
  rm -f "$out"
  mksquashfs "$src" "$out" -all-root -noappend -quiet -no-progress > /dev/null
  rm -rf "$src"
}

# Stand-in kernel and root file system images of a software version.
board_make_boot_images() {  # board_make_boot_images DIR VERSION [ROOTFS_BYTES]
  local dir=$1 version=$2 bytes=${3:-65536}
  mkdir -p "$dir"
  { printf 'kernel %s\n' "$version"; head -c 32768 /dev/zero | tr '\0' 'k'; } > "$dir/bzImage"
  { printf 'rootfs %s\n' "$version"; head -c "$bytes" /dev/zero | tr '\0' 'r'; } > "$dir/rootfs.gz"
}

# A startup package of one software version: kernel, root file system and application image.
board_make_package() {  # board_make_package OUT VERSION [ROOTFS_BYTES [APP_VERSION]]
  local out=$1 version=$2 bytes=${3:-65536} app=${4:-$2} tmp
  tmp=$(mktemp -d)
  board_make_boot_images "$tmp" "$version" "$bytes"
  board_make_app_image "$tmp/app.sqsh" "$app"
  ${EMULATOR:-} "$MKPKG" "$out" bzImage="$tmp/bzImage" rootfs.gz="$tmp/rootfs.gz" app_squashfs="$tmp/app.sqsh"
  local rc=$?
  rm -rf "$tmp"
  return $rc
}

# Offset of a subfile in a package, as the loader computes it (384 + the head's offset field).
board_subfile_offset() {  # board_subfile_offset PACKAGE NAME
  local pkg=$1 name=$2 count i head field
  count=$(od -An -tu4 -j 599 -N 4 "$pkg" | tr -d ' ')
  for ((i = 0; i < count; i++)); do
    head=$((636 + 132 * i))
    field=$(dd if="$pkg" bs=1 skip=$head count=114 2>/dev/null | tr -d '\0')
    if [ "$field" = "$name" ]; then
      echo $((384 + $(od -An -tu4 -j $((head + 119)) -N 4 "$pkg" | tr -d ' ')))
      return 0
    fi
  done
  return 1
}

board_reboot_count() { if [ -f "$BSP_REBOOT_RECORD" ]; then grep -c '^reboot' "$BSP_REBOOT_RECORD"; else echo 0; fi; }

# A sandbox run killed between the loader's attach and the next reboot leaves /dev/loop1 on a
# package file its board folder no longer has. Nothing can mount that again: it is detached,
# but only when no mount on this machine uses the device.
board_clear_stale_loop1() {
  local back
  back=$(losetup -n -O BACK-FILE /dev/loop1 2> /dev/null) || return 0
  case "$back" in *.cc" (deleted)") ;; *) return 0 ;; esac
  if cat /proc/[0-9]*/mountinfo 2> /dev/null | awk '$0 ~ / - [^ ]+ \/dev\/loop1 / { f = 1 } END { exit !f }'; then
    return 0
  fi
  losetup -d /dev/loop1 2> /dev/null && echo "note: detached /dev/loop1, left on a deleted package ($back)" >&2
  return 0
}

# True when /dev/loop1 is attached to something.
board_loop1_busy() { board_clear_stale_loop1; losetup /dev/loop1 > /dev/null 2>&1; }

# Stand-ins, first in PATH, for the loader's attach ("losetup -o") and mount ("mount -t
# squashfs"): they record the command in LOG (default: nowhere) and do nothing, so no
# application image is attached. Every other use of the two tools (a small /boot, binding the
# command line fixture, querying the loop device) reaches the real ones.
board_stand_in_app_mount() {  # board_stand_in_app_mount [LOG]
  local log=${1:-/dev/null} c real
  mkdir -p "$BOARD_WORK/bin"
  for c in losetup mount; do
    real=$(command -v "$c")
    printf '#!/bin/sh\ncase "$1:${2:-}" in -o:*|-t:squashfs) echo "%s $*" >> %s; exit 0 ;; esac\nexec %s "$@"\n' \
      "$c" "$log" "$real" > "$BOARD_WORK/bin/$c"
    chmod 755 "$BOARD_WORK/bin/$c"
  done
  export PATH="$BOARD_WORK/bin:$PATH"
}

# What a reboot clears: the application mount and the loop device, if this board attached it.
board_take_down_app() {
  if mountpoint -q /mnt/squash; then umount /mnt/squash || umount -l /mnt/squash; fi
  local mark=${BOARD_WORK:-/run/bsp-sandbox}/loop1.attached
  if [ -f "$mark" ]; then
    losetup -d /dev/loop1 2> /dev/null
    rm -f "$mark"
  fi
}

# One boot: the command line GRUB names, the loader, its console kept in BOARD_CONSOLE, its
# exit status in BOARD_STATUS and its wall time (seconds) in BOARD_WALL.
board_boot() {
  board_take_down_app
  board_set_cmdline "$(board_cmdline_from_grub)"
  local free=0 t0 t1
  board_loop1_busy || free=1
  t0=$(date +%s.%N)
  # BOARD_RUNNER may wrap the loader, e.g. with /usr/bin/time.
  BOARD_CONSOLE=$(${BOARD_RUNNER:-} ${EMULATOR:-} "$BOOTLOADER" 2>&1)
  BOARD_STATUS=$?
  t1=$(date +%s.%N)
  BOARD_WALL=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
  # Attached during this boot: ours to detach at the next reboot.
  if [ $free = 1 ] && board_loop1_busy; then touch "${BOARD_WORK:-/run/bsp-sandbox}/loop1.attached"; fi
}

# The loader's 16-bit boot-attempt count and the package search index in .bootMem.dat.
board_fail_count() { od -An -tu2 -j $((0x1002)) -N 2 /mnt/flash/.bootMem.dat | tr -d ' '; }
board_search_index() { od -An -tu4 -j $((0x3004)) -N 4 /mnt/flash/.bootMem.dat | tr -d ' '; }
board_set_fail_count() {
  printf "$(printf '\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8)))" |
    dd of=/mnt/flash/.bootMem.dat bs=1 seek=$((0x1002)) conv=notrunc status=none
}
