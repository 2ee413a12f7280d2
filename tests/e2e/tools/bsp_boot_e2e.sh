#!/usr/bin/env bash
# bsp-boot on the sandboxed board, through the loader's boots: the status after each boot
# (its --json parsed, and compared with the test's own reading of the board), mark-good, and
# choose with its refusals. Runs inside bsp-sandbox only.
#   usage: bsp_boot_e2e.sh SCENARIO
#   (BOOTLOADER, MKPKG, BSP_BOOT, BSP_SHELL, BSP_LIBRARY, EMULATOR in the environment)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../../tools/board-sim/board-lib.sh
. "$here/../../../tools/board-sim/board-lib.sh"
board_require_sandbox

export BOARD_WORK=/run/bsp-sandbox/bsp-boot-e2e
mkdir -p "$BOARD_WORK"
cd "$BOARD_WORK" || exit 1
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
has() { [[ $1 == *"$2"* ]]; }

# With /dev/loop1 taken by someone else, the loader's attach and mount are stand-ins and no
# application image is mounted.
STANDIN=0
if board_loop1_busy; then
  echo "note: /dev/loop1 is in use on this machine; attach and mount are stand-ins"
  STANDIN=1
  board_stand_in_app_mount
fi
trap 'board_take_down_app' EXIT

bsp_boot() { ${EMULATOR:-} "$BSP_BOOT" --lib "$BSP_LIBRARY" "$@"; }

# The status as JSON, kept in STATUS; q EXPR evaluates a Python expression over it (d).
status() {
  STATUS=$(bsp_boot status --json)
  STATUS_RC=$?
  printf '%s' "$STATUS" | python3 -c 'import json, sys; json.load(sys.stdin)' 2> /dev/null || STATUS_RC=99
}
q() { printf '%s' "$STATUS" | python3 -c 'import json, sys; d = json.load(sys.stdin); print(eval(sys.argv[1]))' "$1"; }

# The test's own reading: the code CRC of an .efs file, and of a package's subfile.
efs_crc() { od -An -tu2 -j 64 -N 2 "$1" | tr -d ' '; }
package_crc() {  # package_crc PACKAGE SUBFILE
  python3 - "$1" "$2" << 'PY'
import struct, sys
p = open(sys.argv[1], 'rb').read()
count = struct.unpack_from('<I', p, 599)[0]
for i in range(count):
    h = 636 + 132 * i
    name = p[h:h + 114].split(b'\0')[0].decode()
    if name == sys.argv[2]:
        length, offset = struct.unpack_from('<I', p, h + 114)[0], struct.unpack_from('<I', p, h + 119)[0]
        print(struct.unpack_from('<H', p, 384 + offset + length - 68 + 64)[0])
PY
}

installed_board() {
  board_lay_out
  board_make_boot_images /boot/boot_A v1
  board_make_package /mnt/flash/zq.cc v1
}

# The subarea's images as the test reads them: "crc crc" or "- -".
subarea_crcs() {
  local s=$1 k r
  k=$( [ -f /boot/boot_$s/bzImage.efs ] && efs_crc /boot/boot_$s/bzImage.efs || echo None)
  r=$( [ -f /boot/boot_$s/rootfs.gz.efs ] && efs_crc /boot/boot_$s/rootfs.gz.efs || echo None)
  echo "$k $r"
}

# The status's subarea S agrees with the files on the board.
check_subareas() {
  local s i
  for s in A B; do
    i=$([ $s = A ] && echo 0 || echo 1)
    check "$1: subarea $s code CRCs as its .efs files" \
      "[ \"\$(q 'str(d[\"subareas\"][$i][\"images\"][0][\"code_crc\"]) + \" \" + str(d[\"subareas\"][$i][\"images\"][1][\"code_crc\"])')\" = \"$(subarea_crcs $s)\" ]"
  done
}

check_app() {  # check_app WHAT VERSION
  if [ $STANDIN = 1 ]; then
    check "$1: no application mounted (stand-in)" '[ "$(q "d[\"application\"][\"mounted\"]")" = False ]'
  else
    check "$1: application mounted from the loop device" \
      '[ "$(q "(d[\"application\"][\"mounted\"], d[\"application\"][\"fstype\"], d[\"application\"][\"source\"])")" = "(True, '"'"'squashfs'"'"', '"'"'/dev/loop1'"'"')" ]'
    check "$1: it is $2" "[ \"\$(cat /mnt/squash/etc/version)\" = '$2' ]"
  fi
}

scenario_first_boot() {
  installed_board
  board_set_cmdline "$(board_cmdline_from_grub)"
  status
  check "before the first boot: status answers" '[ $STATUS_RC = 0 ]'
  check "before: running A, GRUB names A" '[ "$(q "(d[\"running_subarea\"], d[\"next_subarea\"])")" = "('"'"'A'"'"', '"'"'A'"'"')" ]'
  check "before: A has its images without .efs files" \
    '[ "$(q "[(i[\"present\"], i[\"efs_present\"], i[\"code_crc\"]) for i in d[\"subareas\"][0][\"images\"]]")" = "[(True, False, None), (True, False, None)]" ]'
  check "before: A and B incomplete" '[ "$(q "[s[\"complete\"] for s in d[\"subareas\"]]")" = "[False, False]" ]'
  check "before: no load state word, no boot counters" \
    '[ "$(q "(d[\"load_state\"][\"present\"], d[\"boot_attempts\"], d[\"search_index\"])")" = "(False, None, None)" ]'
  check "before: nothing mounted" '[ "$(q "d[\"application\"][\"mounted\"]")" = False ]'

  board_boot
  status
  check "after: status answers" '[ $STATUS_RC = 0 ]'
  check "after: running A, GRUB names A" '[ "$(q "(d[\"running_subarea\"], d[\"next_subarea\"])")" = "('"'"'A'"'"', '"'"'A'"'"')" ]'
  check "after: both subareas complete" '[ "$(q "[s[\"complete\"] for s in d[\"subareas\"]]")" = "[True, True]" ]'
  check_subareas "after the first boot"
  check "after: the package's CRCs are recorded in A" \
    '[ "$(subarea_crcs A)" = "$(package_crc /mnt/flash/zq.cc bzImage) $(package_crc /mnt/flash/zq.cc rootfs.gz)" ]'
  check "after: the default record, first set current and valid" \
    '[ "$(q "(d[\"load_state\"][\"current\"], d[\"load_state\"][\"sets\"][0][\"valid\"], d[\"load_state\"][\"sets\"][0][\"package\"], d[\"load_state\"][\"sets\"][1][\"valid\"])")" = "('"'"'stLoadStateWordCur'"'"', True, '"'"'flash:/zq.cc'"'"', False)" ]'
  check "after: one attempt counted of the threshold 3, search index 0" \
    '[ "$(q "(d[\"boot_attempts\"], d[\"rollback_threshold\"], d[\"search_index\"])")" = "(1, 3, 0)" ]'
  check "after: the count is the loader's" '[ "$(q "d[\"boot_attempts\"]")" = "$(board_fail_count)" ]'
  check_app "after" v1
  local text
  text=$(bsp_boot status)
  check "the text status is short and says the same" \
    'has "$text" "running subarea: A" && has "$text" "flash:/zq.cc" && has "$text" "boot attempts: 1" && [ "$(printf "%s\n" "$text" | wc -l)" -le 10 ]'
}

scenario_update_cycle() {
  installed_board
  board_boot
  bsp_boot mark-good > /dev/null
  board_make_package /mnt/flash/v2.cc v2
  local out
  out=$(bsp_boot choose flash:/v2.cc)
  check "choose a good package" '[ $? = 0 ] && has "$out" "flash:/v2.cc"'
  status
  check "chosen: the current set names v2, valid" \
    '[ "$(q "(d[\"load_state\"][\"sets\"][0][\"package\"], d[\"load_state\"][\"sets\"][0][\"valid\"])")" = "('"'"'flash:/v2.cc'"'"', True)" ]'

  local reboots
  reboots=$(board_reboot_count)
  board_boot
  check "update boot 1 asks for a reboot" '[ "$(board_reboot_count)" = $((reboots + 1)) ]'
  status
  check "boot 1: running A, GRUB now names B" '[ "$(q "(d[\"running_subarea\"], d[\"next_subarea\"])")" = "('"'"'A'"'"', '"'"'B'"'"')" ]'
  check_subareas "boot 1"
  check "boot 1: B holds the v2 images" \
    '[ "$(subarea_crcs B)" = "$(package_crc /mnt/flash/v2.cc bzImage) $(package_crc /mnt/flash/v2.cc rootfs.gz)" ]'
  check "boot 1: A still holds v1" \
    '[ "$(subarea_crcs A)" = "$(package_crc /mnt/flash/zq.cc bzImage) $(package_crc /mnt/flash/zq.cc rootfs.gz)" ]'
  check "boot 1: one attempt counted" '[ "$(q "d[\"boot_attempts\"]")" = 1 ]'

  board_boot
  status
  check "boot 2: running B, GRUB names B" '[ "$(q "(d[\"running_subarea\"], d[\"next_subarea\"])")" = "('"'"'B'"'"', '"'"'B'"'"')" ]'
  check_subareas "boot 2"
  check "boot 2: A copied back from B" '[ "$(subarea_crcs A)" = "$(subarea_crcs B)" ]'
  check "boot 2: both complete" '[ "$(q "[s[\"complete\"] for s in d[\"subareas\"]]")" = "[True, True]" ]'
  check "boot 2: two attempts counted" '[ "$(q "d[\"boot_attempts\"]")" = 2 ]'
  check_app "boot 2" v2
  out=$(bsp_boot mark-good)
  check "mark-good after the update" '[ $? = 0 ] && has "$out" "2 -> 0"'
  status
  check "the count is 0" '[ "$(q "d[\"boot_attempts\"]")" = 0 ] && [ "$(board_fail_count)" = 0 ]'
}

scenario_rollback() {
  installed_board
  board_make_package /mnt/flash/other.cc v1 65536 other
  local n
  for n in 1 2 3; do
    board_boot
    status
    check "boot $n: $n attempts, no rollback yet" \
      '[ "$(q "(d[\"boot_attempts\"], d[\"load_state\"][\"selector\"])")" = "($n, 0)" ]'
  done
  board_boot
  check "boot 4 rolls back" 'has "$BOARD_CONSOLE" "3 Times&RollBack"'
  status
  check "after the rollback: the second set is current" \
    '[ "$(q "(d[\"load_state\"][\"selector\"], d[\"load_state\"][\"current\"])")" = "(1, '"'"'stLoadStateWordPre'"'"')" ]'
  check "after the rollback: the first set is invalid" '[ "$(q "d[\"load_state\"][\"sets\"][0][\"valid\"]")" = False ]'
  check "after the rollback: the search found the other package" \
    '[ "$(q "(d[\"load_state\"][\"sets\"][1][\"package\"], d[\"load_state\"][\"sets\"][1][\"valid\"])")" = "('"'"'flash:/other.cc'"'"', True)" ]'
  check "after the rollback: count restarted, search index moved" \
    '[ "$(q "d[\"boot_attempts\"]")" = 1 ] && [ "$(q "d[\"search_index\"]")" = "$(board_search_index)" ] && [ "$(board_search_index)" -gt 0 ]'
  check_app "after the rollback" other
}

scenario_mark_good() {
  installed_board
  board_boot
  local out
  out=$(bsp_boot mark-good)
  check "mark-good says what it cleared" '[ $? = 0 ] && [ "$out" = "boot marked good: boot-attempt count 1 -> 0" ]'
  status
  check "the count is 0 in the status and in the file" '[ "$(q "d[\"boot_attempts\"]")" = 0 ] && [ "$(board_fail_count)" = 0 ]'
  out=$(bsp_boot mark-good)
  check "again: nothing else changes" '[ $? = 0 ] && has "$out" "0 -> 0"'
  # bsp-shell --boot-good stays a synonym.
  board_boot
  ${EMULATOR:-} "$BSP_SHELL" --lib "$BSP_LIBRARY" --boot-good -c "bsp show pieces" > /dev/null 2>&1
  check "bsp-shell --boot-good clears it too" '[ "$(board_fail_count)" = 0 ]'
  # Without the boot parameter memory there is nothing to clear.
  rm -f /mnt/flash/.bootMem.dat
  out=$(bsp_boot mark-good)
  check "no boot parameter memory: nothing to clear, no file made" '[ $? = 0 ] && [ ! -e /mnt/flash/.bootMem.dat ]'
}

# choose_refused NAME WHAT STATUS: refused with one line and the load state word unchanged.
choose_refused() {
  local before err rc
  status
  before=$(q 'd["load_state"]')
  err=$(timeout 20 ${EMULATOR:-} "$BSP_BOOT" --lib "$BSP_LIBRARY" choose "$1" 2>&1 > /dev/null)
  rc=$?
  echo "   bsp-boot: ${err#bsp-boot: }"
  check "choose $1 ($2) is refused with status $3" "[ \$rc = $3 ]"
  check "choose $1: one line saying why" '[ -n "$err" ] && [ "$(printf "%s\n" "$err" | wc -l)" = 1 ]'
  status
  check "choose $1: the load state word is unchanged" '[ "$(q "d[\"load_state\"]")" = "$before" ]'
}

scenario_choose() {
  installed_board
  board_boot
  choose_refused flash:/missing.cc "a missing file" 1
  echo "not a package" > /mnt/flash/text.cc
  choose_refused flash:/text.cc "a text file" 1
  head -c 4096 /dev/urandom > /mnt/flash/noise.cc
  choose_refused flash:/noise.cc "random bytes" 1
  mkfifo /mnt/flash/fifo.cc
  choose_refused flash:/fifo.cc "a FIFO" 1
  mkdir /mnt/flash/dir.cc
  choose_refused flash:/dir.cc "a directory" 1
  local tmp
  tmp=$(mktemp -d)
  board_make_boot_images "$tmp" v3
  ${EMULATOR:-} "$MKPKG" /mnt/flash/noapp.cc bzImage="$tmp/bzImage" rootfs.gz="$tmp/rootfs.gz" > /dev/null
  rm -rf "$tmp"
  choose_refused flash:/noapp.cc "no app_squashfs" 1
  head -c 2000 /mnt/flash/zq.cc > /mnt/flash/cut.cc
  choose_refused flash:/cut.cc "a package cut short" 1
  choose_refused zq.cc "no flash:/ name" 2
  choose_refused flash:/zq.bin "not .cc" 2
  board_make_package /mnt/flash/good.cc v3
  local out
  out=$(bsp_boot choose flash:/good.cc)
  check "a good package is chosen" '[ $? = 0 ] && has "$out" "next boot: flash:/good.cc"'
  status
  check "the current set names it" '[ "$(q "d[\"load_state\"][\"sets\"][0][\"package\"]")" = flash:/good.cc ]'
  board_boot
  check "the loader boots it" 'has "$BOARD_CONSOLE" "Now boot from flash:/good.cc"'
}

scenario=${1:-}
declare -F "scenario_$scenario" > /dev/null || { echo "unknown scenario $scenario" >&2; exit 2; }
"scenario_$scenario"
exit $fail
