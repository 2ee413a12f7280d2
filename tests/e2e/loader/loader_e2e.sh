#!/usr/bin/env bash
# The real bootloader on the sandboxed board, boot after boot, with real cp, sed, losetup and
# mount. Runs inside bsp-sandbox only.
#   usage: loader_e2e.sh SCENARIO   (BOOTLOADER, MKPKG and optionally EMULATOR in the environment)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../../tools/board-sim/board-lib.sh
. "$here/../../../tools/board-sim/board-lib.sh"
board_require_sandbox

export BOARD_WORK=/run/bsp-sandbox/e2e
mkdir -p "$BOARD_WORK"
cd "$BOARD_WORK" || exit 1
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
has() { [[ $1 == *"$2"* ]]; }  # has TEXT PART
boot_log() { cat /mnt/flash/boot_log.txt 2>/dev/null; }
CR=$'\r'
CRLF=$'\r\n'

# With /dev/loop1 taken by someone else on this machine, the attach and mount commands are
# recorded by stand-ins and checked instead of the mounted image.
STANDIN=0
if board_loop1_busy; then
  echo "note: /dev/loop1 is in use on this machine; checking the losetup and mount commands instead of the mount"
  STANDIN=1
  board_stand_in_app_mount "$BOARD_WORK/commands.log"
fi
trap 'board_take_down_app' EXIT

boot() {
  [ $STANDIN = 1 ] && : > "$BOARD_WORK/commands.log"
  BOOT_LOG_AT=$(stat -c %s /mnt/flash/boot_log.txt 2> /dev/null || echo 0)
  board_boot
}
# What the last boot added to the boot log.
this_boot_log() { tail -c +$((BOOT_LOG_AT + 1)) /mnt/flash/boot_log.txt 2> /dev/null; }

# check_app DESCRIPTION PACKAGE APP_VERSION: the package's application image is at /mnt/squash.
check_app() {
  if [ $STANDIN = 1 ]; then
    local off
    off=$(board_subfile_offset "$2" app_squashfs)
    check "$1 (attach command)" \
      "tail -n 2 '$BOARD_WORK/commands.log' | head -n 1 | grep -qxF 'losetup -o $off /dev/loop1 $2'"
    check "$1 (mount command)" \
      "tail -n 1 '$BOARD_WORK/commands.log' | grep -qxF 'mount -t squashfs /dev/loop1 /mnt/squash'"
  else
    check "$1" "[ \"\$(cat /mnt/squash/etc/version 2>/dev/null)\" = '$3' ]"
  fi
}

check_no_app() {
  if [ $STANDIN = 1 ]; then
    check "$1" "! grep -q 'mount -t squashfs' '$BOARD_WORK/commands.log' 2>/dev/null"
  else
    check "$1" "! mountpoint -q /mnt/squash"
  fi
}

# A board as installed: v1 images in subarea A (no .efs files yet), the v1 package as zq.cc.
installed_board() {
  board_lay_out
  board_make_boot_images /boot/boot_A v1
  board_make_package /mnt/flash/zq.cc v1
}

same_file() { cmp -s "$1" "$2"; }

# What the loader would take as the next package in directory order after INDEX entries,
# passing over the two names given: "position name".
expected_search() {  # expected_search INDEX EXCLUDED1 EXCLUDED2
  local i=0 name
  while IFS= read -r name; do
    i=$((i + 1))
    [ $i -le "$1" ] && continue
    case "${name,,}" in *.cc) ;; *) continue ;; esac
    [ "flash:/$name" = "$2" ] || [ "flash:/$name" = "$3" ] && continue
    [ ${#name} -le 57 ] || continue
    echo "$i $name"
    return
  done < <(ls -f -a /mnt/flash)
}

scenario_empty_board() {
  board_lay_out
  boot
  check "exit status 0" '[ $BOARD_STATUS = 0 ]'
  check "build line first" 'has "$BOARD_CONSOLE" "${CRLF} Bootloader creation Data : "'
  check "/mnt/misc made and the flash emulation file created" '[ "$(stat -c %s /mnt/misc/flashfile)" = 4718592 ]'
  check "boot parameter memory created (1 MiB)" '[ "$(stat -c %s /mnt/flash/.bootMem.dat)" = 1048576 ]'
  check "default load state word created" 'has "$BOARD_CONSOLE" "Get load start word fail! Creat a new one now."'
  check "the default package is tried" 'has "$BOARD_CONSOLE" "Now boot from flash:/zq.cc, please wait......"'
  check "the attempt is counted" '[ "$(board_fail_count)" = 1 ]'
  check "the log starts with a record" '[[ "$(boot_log)" == "${CRLF} Info :"* || "$(boot_log)" == "${CRLF} Error :"* ]]'
  check "missing package reported" 'has "$(boot_log)" "Open Startup Software /mnt/flash/zq.cc Fail"'
  check "failure logged" 'has "$(boot_log)" " Error :Auto Start System Return Fail"'
  # Both decisions fail, which would switch GRUB; but the other subarea is empty.
  check "GRUB not switched to the empty subarea" 'grep -q "linux /boot_A/bzImage" /boot/grub/grub.cfg && ! grep -q boot_B /boot/grub/grub.cfg'
  check "the refusal says why" 'has "$(boot_log)" " Error :/boot/boot_B/bzImage Missing, GRUB Not Switched${CRLF}"'
  check "reboot requested" '[ "$(board_reboot_count)" -ge 1 ]'
  check_no_app "nothing mounted"
  boot
  check "second boot: exit status 0" '[ $BOARD_STATUS = 0 ]'
  check "second boot reads the saved record" '! has "$BOARD_CONSOLE" "Creat a new one"'
  check "second attempt counted" '[ "$(board_fail_count)" = 2 ]'
}

scenario_first_install() {
  installed_board
  boot
  check "exit status 0" '[ $BOARD_STATUS = 0 ]'
  check "no reboot" '[ "$(board_reboot_count)" = 0 ]'
  check "package EFS blocks written to A" '[ "$(stat -c %s /boot/boot_A/bzImage.efs)" = 68 ] && [ "$(stat -c %s /boot/boot_A/rootfs.gz.efs)" = 68 ]'
  check "missing .efs noted" 'has "$(boot_log)" " Info :Get Current File ESF Info Fail"'
  check "root file system copied to B" 'same_file /boot/boot_A/rootfs.gz /boot/boot_B/rootfs.gz && same_file /boot/boot_A/rootfs.gz.efs /boot/boot_B/rootfs.gz.efs'
  check "kernel copied to B" 'same_file /boot/boot_A/bzImage /boot/boot_B/bzImage && same_file /boot/boot_A/bzImage.efs /boot/boot_B/bzImage.efs'
  check "copy commands logged" 'has "$(boot_log)" "System Execute cp  /boot/boot_A/rootfs* /boot/boot_B/ " && has "$(boot_log)" "System Execute cp  /boot/boot_A/bzImage* /boot/boot_B/ "'
  check "GRUB untouched" 'grep -q "linux /boot_A/bzImage" /boot/grub/grub.cfg'
  check "console ends with the application line" 'has "$BOARD_CONSOLE" "excutive app squsdhfs$CR"'
  check_app "application image mounted" /mnt/flash/zq.cc v1
  check "one attempt counted" '[ "$(board_fail_count)" = 1 ]'
}

scenario_update_cycle() {
  installed_board
  boot
  check_app "v1 running" /mnt/flash/zq.cc v1
  board_make_package /mnt/flash/zq.cc v2
  cp -a /boot/boot_A "$BOARD_WORK/A.before"
  boot
  check "boot 1: kernel update announced" 'has "$BOARD_CONSOLE" "${CRLF}Update bzImage !!!"'
  check "boot 1: rootfs update announced" 'has "$BOARD_CONSOLE" "Update rootfs.gz !!!"'
  check "boot 1: B holds the v2 images" 'head -n 1 /boot/boot_B/bzImage | grep -qx "kernel v2" && head -n 1 /boot/boot_B/rootfs.gz | grep -qx "rootfs v2"'
  check "boot 1: A untouched" 'diff -r "$BOARD_WORK/A.before" /boot/boot_A > /dev/null'
  check "boot 1: GRUB switched to B" 'grep -q "linux /boot_B/bzImage" /boot/grub/grub.cfg && grep -q "initrd /boot_B/rootfs.gz" /boot/grub/grub.cfg'
  check "boot 1: switch logged" 'has "$(boot_log)" " Info :sed -i '"'"'s/boot_A/boot_B/g'"'"' /boot/grub/grub.cfg"'
  check "boot 1: reboot requested" '[ "$(board_reboot_count)" = 1 ] && has "$BOARD_CONSOLE" "Reboot system!"'
  boot
  check "boot 2: runs from B" '[ "$(board_current_subarea)" = B ]'
  check "boot 2: no update" '! has "$BOARD_CONSOLE" "Update "'
  check "boot 2: backups announced" 'has "$BOARD_CONSOLE" "Backup Rootfs!" && has "$BOARD_CONSOLE" "Backup Kernel!"'
  check "boot 2: A now equals B" 'diff -r /boot/boot_A /boot/boot_B > /dev/null'
  check "boot 2: backup direction logged" 'has "$(boot_log)" "Backup Rootfs boot B to A " && has "$(boot_log)" "Backup kernel boot B to A "'
  check "boot 2: no further reboot" '[ "$(board_reboot_count)" = 1 ]'
  check_app "boot 2: v2 application mounted" /mnt/flash/zq.cc v2
  check "three attempts counted" '[ "$(board_fail_count)" = 3 ]'
}

scenario_rollback() {
  installed_board
  board_make_package /mnt/flash/other.cc v1 65536 other
  boot
  check_app "zq.cc boots" /mnt/flash/zq.cc v1
  board_set_fail_count 2
  boot
  check "count 2: no rollback" '! has "$BOARD_CONSOLE" "RollBack" && has "$BOARD_CONSOLE" "Boot Fail times = 2"'
  check "count 2 becomes 3" '[ "$(board_fail_count)" = 3 ]'
  check_app "count 2: zq.cc still boots" /mnt/flash/zq.cc v1
  boot
  check "count 3: rollback" 'has "$BOARD_CONSOLE" "${CRLF}Boot Fail.................................3 Times&RollBack"'
  check "the empty fallback set makes the search run" 'has "$BOARD_CONSOLE" "!!!NOTE: Auto search packet file and startup!!!"'
  check "the found package boots" 'has "$BOARD_CONSOLE" "Now boot from flash:/other.cc, please wait"'
  check "count cleared, then this attempt counted" '[ "$(board_fail_count)" = 1 ]'
  check "search index moved" '[ "$(board_search_index)" -gt 0 ]'
  check_app "other.cc mounted" /mnt/flash/other.cc other
  boot
  check "next boot keeps the new current set" 'has "$BOARD_CONSOLE" "Now boot from flash:/other.cc" && ! has "$BOARD_CONSOLE" "Auto search"'
}

scenario_search_order() {
  installed_board
  boot
  board_take_down_app
  rm /mnt/flash/zq.cc  # only the new packages are candidates
  for n in readme.txt a.cc b.CC c.bin d.ccx e.c; do
    case "${n,,}" in *.cc) board_make_package "/mnt/flash/$n" v1 65536 "app-$n" ;; *) echo "$n" > "/mnt/flash/$n" ;; esac
  done
  local want pos name first
  want=$(expected_search 0 "flash:/zq.cc" "")
  pos=${want%% *} name=${want#* } first=$name
  board_set_fail_count 3
  boot
  check "first search takes the first .cc in directory order ($name at $pos)" 'has "$BOARD_CONSOLE" "Now boot from flash:/$name, please"'
  check "index = its position" '[ "$(board_search_index)" = "$pos" ]'
  check "search index printed" 'has "$BOARD_CONSOLE" "Boot GetSearchPktCnt count = 0"'
  check_app "first found package mounted" "/mnt/flash/$name" "app-$name"
  want=$(expected_search "$pos" "flash:/zq.cc" "flash:/$first")
  local pos2=${want%% *} name2=${want#* }
  board_set_fail_count 3
  boot
  check "second search resumes after the first ($name2 at $pos2)" 'has "$BOARD_CONSOLE" "Boot GetSearchPktCnt count = $pos" && has "$BOARD_CONSOLE" "Now boot from flash:/$name2, please"'
  check "index = its position" '[ "$(board_search_index)" = "$pos2" ]'
  check "only .cc names were taken" '[[ "${first,,}" == *.cc && "${name2,,}" == *.cc ]]'
  # Nothing is left after the second: the search fails, the index returns to 0 and the set's
  # old name is booted.
  board_set_fail_count 3
  boot
  check "third search finds nothing" 'has "$BOARD_CONSOLE" "Auto search packet file fail! Please set startup file."'
  check "index back to 0" '[ "$(board_search_index)" = 0 ]'
  check "the set's old name boots" 'has "$BOARD_CONSOLE" "Now boot from flash:/$first, please"'
}

scenario_nothing_found() {
  installed_board
  boot
  for n in x.bin y.ccx cc z.c w.cc.bak .cc.txt; do echo "$n" > "/mnt/flash/$n"; done
  board_set_fail_count 3
  local before
  before=$(board_reboot_count)
  boot
  check "exit status 0" '[ $BOARD_STATUS = 0 ]'
  check "no package found" 'has "$BOARD_CONSOLE" "${CRLF}Auto search packet file fail! Please set startup file."'
  check "failure also recorded" 'has "$(boot_log)" " Info :${CRLF}Auto search packet file fail!"'
  check "index 0" '[ "$(board_search_index)" = 0 ]'
  check "the empty name cannot be converted" 'has "$(boot_log)" " Error :QOR path change ro Linux path Fail"'
  check "reboot requested" '[ "$(board_reboot_count)" -gt "$before" ]'
  check "no attempt counted before the conversion" '[ "$(board_fail_count)" = 0 ]'
}

# Package names that hold shell syntax must never run anything, and names too long for the
# load state word are passed over.
scenario_hostile_names() {
  installed_board
  boot
  board_take_down_app
  rm /mnt/flash/zq.cc  # only the hostile names are candidates
  local names=('$(touch pwned1).cc' 'a b;touch pwned2;.cc' "q'x\`touch pwned3\`.cc" $'n\ntouch pwned4\n.cc'
               '-o 0 x.cc' '&& touch pwned5 #.cc')
  local long
  long=$(printf 'L%.0s' $(seq 1 54)).cc  # 57 characters: "flash:/" + it is 64, fits
  local too_long=${long/L/LL}           # 58 characters: would not fit
  board_make_package "/mnt/flash/$too_long" v1 65536 "too-long"
  for n in "${names[@]}" "$long"; do board_make_package "/mnt/flash/$n" v1 65536 "hostile"; done
  local i seen=""
  for ((i = 0; i < ${#names[@]} + 1; i++)); do
    board_set_fail_count 3
    boot
    check "boot $i: exit status 0" '[ $BOARD_STATUS = 0 ]'
    check "boot $i: a found package boots" 'has "$BOARD_CONSOLE" "excutive app squsdhfs"'
    [ $STANDIN = 1 ] || check "boot $i: its application image is mounted" '[ "$(cat /mnt/squash/etc/version)" = hostile ]'
    check "boot $i: the too long name is passed over" '! has "$BOARD_CONSOLE" "Now boot from flash:/$too_long"'
    seen+=$BOARD_CONSOLE
  done
  check "every hostile name was booted once" 'for n in "${names[@]}"; do has "$seen" "Now boot from flash:/$n, please" || exit 1; done'
  check "the longest fitting name was booted" 'has "$seen" "Now boot from flash:/$long, please"'
  check "no command ran" 'for p in pwned1 pwned2 pwned3 pwned4 pwned5; do [ ! -e "$BOARD_WORK/$p" ] && [ ! -e "/$p" ] && [ ! -e "/mnt/flash/$p" ] || exit 1; done'
}

# Malformed packages fail with the reader's messages: no crash, no read outside the file, no
# write outside the boot subareas.
scenario_hostile_packages() {
  installed_board
  boot
  cp /mnt/flash/zq.cc "$BOARD_WORK/good.cc"
  local sums_before
  sums_before=$(cd /boot && find boot_A boot_B -type f -exec md5sum {} + | sort)
  local scenario v mounts i logpos newlog
  # variant:whether the application image can still be mounted
  for scenario in short:no count:yes huge_lengths:yes unterminated:no empty:no wrapped:no; do
    v=${scenario%%:*} mounts=${scenario#*:}
    cp "$BOARD_WORK/good.cc" /mnt/flash/zq.cc
    case $v in
      short) truncate -s 700 /mnt/flash/zq.cc ;;
      count) printf '\377\377\377\377' | dd of=/mnt/flash/zq.cc bs=1 seek=599 conv=notrunc status=none ;;
      huge_lengths)  # every subfile longer than the file, the root file system beyond any cap
        for i in 0 1 2; do printf '\377\377\377\177' | dd of=/mnt/flash/zq.cc bs=1 seek=$((636 + 132 * i + 114)) conv=notrunc status=none; done ;;
      unterminated)
        for i in 0 1 2; do head -c 114 /dev/zero | tr '\0' 'N' | dd of=/mnt/flash/zq.cc bs=1 seek=$((636 + 132 * i)) conv=notrunc status=none; done ;;
      empty) : > /mnt/flash/zq.cc ;;
      wrapped)
        for i in 0 1 2; do printf '\360\377\377\377' | dd of=/mnt/flash/zq.cc bs=1 seek=$((636 + 132 * i + 119)) conv=notrunc status=none; done ;;
    esac
    sed -i 's/boot_B/boot_A/g' /boot/grub/grub.cfg  # always run from A, for the comparison
    board_set_fail_count 0  # no rollback in between
    logpos=$(stat -c %s /mnt/flash/boot_log.txt)
    boot
    newlog=$(tail -c +$((logpos + 1)) /mnt/flash/boot_log.txt)
    check "$v: exit status 0 (no crash)" '[ $BOARD_STATUS = 0 ]'
    check "$v: A and B unchanged" '[ "$(cd /boot && find boot_A boot_B -type f -exec md5sum {} + | sort)" = "$sums_before" ]'
    if [ "$mounts" = yes ]; then
      check_app "$v: the application image still mounts" /mnt/flash/zq.cc v1
    elif [ $STANDIN = 0 ] || [ "$v" != wrapped ]; then
      check "$v: boot failure logged" 'has "$newlog" "Auto Start System Return Fail"'
      check_no_app "$v: nothing mounted"
    fi
    case $v in
      short) check "$v: message" 'has "$newlog" " Error :Read Software Subfile Head Info Error"' ;;
      empty) check "$v: message" 'has "$newlog" " Error :Read Software Head Info Error"' ;;
      huge_lengths | wrapped) check "$v: message" 'has "$newlog" " Error :Read EFS fail."' ;;
      unterminated) check "$v: message" 'has "$newlog" " Error :Get Packet /mnt/flash/zq.cc App Squash Offset Fail."' ;;
      count) check "$v: the real heads are found" '! has "$newlog" "Error :"' ;;
    esac
  done
  check "nothing written outside the subareas and GRUB" \
    '[ -z "$(find /boot -newer "$BOARD_WORK/good.cc" ! -type d ! -path "/boot/grub/*" ! -path "/boot/boot_[AB]/*")" ]'
}

scenario_log_rotation() {
  installed_board
  boot
  local size
  for size in 4194304 4194305; do
    rm -f /mnt/flash/boot_log_bak.txt
    echo "older generation" > /mnt/flash/boot_log_bak.txt
    head -c "$size" /dev/zero | tr '\0' 'L' > /mnt/flash/boot_log.txt
    boot
    if [ "$size" = 4194304 ]; then
      # Not rotated before the first record of the boot; that record takes the log over the
      # limit, so the next one rotates it.
      check "exactly 0x400000 bytes: one more record before the rotation" \
        '[ "$(stat -c %s /mnt/flash/boot_log_bak.txt)" -gt 4194304 ] && [[ "$(tail -c +4194305 /mnt/flash/boot_log_bak.txt)" == "${CRLF} Info :"* ]]'
      check "the new log starts with a record" '[[ "$(boot_log)" == "${CRLF} Info :"* ]]'
    else
      check "one byte more: renamed, replacing the backup" '[ "$(stat -c %s /mnt/flash/boot_log_bak.txt)" = 4194305 ]'
      check "the new log holds only this boot" '[ "$(stat -c %s /mnt/flash/boot_log.txt)" -lt 65536 ] && has "$(boot_log)" "excutive app squsdhfs"'
      check "the new log starts with a record" '[[ "$(boot_log)" == "${CRLF} Info :"* ]]'
    fi
  done
}

# A root file system far larger than the loader may hold in memory: copied whole, with the
# loader's peak resident memory bounded (measured where /usr/bin/time is there and the loader
# runs natively without sanitizers).
scenario_large_update() {
  installed_board
  boot
  local bytes=$((120 * 1024 * 1024))
  board_make_package /mnt/flash/zq.cc v2 "$bytes"
  local measure=0
  [ -x /usr/bin/time ] && [ -z "${EMULATOR:-}" ] && [ -z "${SANITIZED:-}" ] && measure=1
  if [ $measure = 1 ]; then
    BOARD_RUNNER="/usr/bin/time -f %M -o $BOARD_WORK/rss" boot
  else
    boot
  fi
  check "exit status 0" '[ $BOARD_STATUS = 0 ]'
  check "the whole image reached B" '[ "$(stat -c %s /boot/boot_B/rootfs.gz)" -gt "$bytes" ] && head -n 1 /boot/boot_B/rootfs.gz | grep -qx "rootfs v2"'
  local pkg_off pkg_len
  pkg_off=$(board_subfile_offset /mnt/flash/zq.cc rootfs.gz)
  check "byte for byte the package's image" \
    'cmp -s /boot/boot_B/rootfs.gz <(tail -c +$((pkg_off + 1)) /mnt/flash/zq.cc | head -c "$(stat -c %s /boot/boot_B/rootfs.gz)")'
  if [ $measure = 1 ]; then
    check "peak resident memory under 16 MiB ($(tail -n 1 "$BOARD_WORK/rss") KiB)" '[ "$(tail -n 1 "$BOARD_WORK/rss")" -lt 16384 ]'
  else
    echo "note: peak memory not measured here (emulator, sanitizers or no /usr/bin/time)"
  fi
  boot
  check_app "v2 mounted after the second boot" /mnt/flash/zq.cc v2
}

# A package of the given kernel and root file system images (NAME=FILE[:CRC] as bsp-mkpkg
# takes them) and an application image of its own.
package_of() {  # package_of OUT APP_VERSION BZIMAGE ROOTFS
  local tmp rc
  tmp=$(mktemp -d)
  board_make_app_image "$tmp/app.sqsh" "$2"
  ${EMULATOR:-} "$MKPKG" "$1" bzImage="$3" rootfs.gz="$4" app_squashfs="$tmp/app.sqsh"
  rc=$?
  rm -rf "$tmp"
  return $rc
}

# A boot that refused to switch GRUB to subarea B after a failed write: the box keeps
# running from A and reboots, the attempt counted, nothing mounted.
check_refused() {  # check_refused DESCRIPTION IMAGE_THAT_FAILED COUNT REBOOTS_BEFORE
  local image=$2 count=$3 reboots_before=$4
  check "$1: exit status 0" '[ $BOARD_STATUS = 0 ]'
  check "$1: the failed write is reported" 'has "$(this_boot_log)" " Error :Write $image to Img Fail${CRLF}"'
  check "$1: the refusal says why" 'has "$(this_boot_log)" " Error :Write into /boot/boot_B/ Failed, GRUB Not Switched${CRLF}"'
  check "$1: the boot fails" 'has "$(this_boot_log)" " Error :Auto Start System Return Fail"'
  check "$1: GRUB still boots A" 'grep -q "linux /boot_A/bzImage" /boot/grub/grub.cfg && ! grep -q boot_B /boot/grub/grub.cfg'
  check "$1: no .efs file beside the broken image" '[ ! -e /boot/boot_B/$image.efs ]'
  check "$1: A untouched" 'diff -r "$BOARD_WORK/A.before" /boot/boot_A > /dev/null'
  check "$1: reboot requested" '[ "$(board_reboot_count)" -gt "$reboots_before" ]'
  check "$1: attempt counted" '[ "$(board_fail_count)" = "$count" ]'
  check_no_app "$1: nothing mounted"
}

# /boot too full for the new kernel: the kernel's write into B fails. The box keeps booting A,
# each failed boot counted, and the fourth rolls back to the other startup-file set.
scenario_full_boot() {
  mount -t tmpfs -o size=1m bsp-full-boot /boot || { echo "FAIL: cannot mount a small /boot"; exit 1; }
  installed_board
  board_make_package /mnt/flash/other.cc v1 65536 other
  boot
  check_app "v1 boots" /mnt/flash/zq.cc v1
  check "B filled from A" 'diff -r /boot/boot_A /boot/boot_B > /dev/null'
  board_take_down_app
  # v2: a 2 MiB kernel, more than /boot has free, and v1's root file system.
  mkdir -p "$BOARD_WORK/v2"
  { echo "kernel v2"; head -c $((2 * 1024 * 1024)) /dev/zero | tr '\0' 'k'; } > "$BOARD_WORK/v2/bzImage"
  package_of /mnt/flash/zq.cc v2 "$BOARD_WORK/v2/bzImage" /boot/boot_A/rootfs.gz
  board_set_fail_count 0  # the host marked the v1 boot good
  cp -a /boot/boot_A "$BOARD_WORK/A.before"
  local n reboots
  for n in 1 2 3; do
    reboots=$(board_reboot_count)
    boot
    check_refused "attempt $n" bzImage "$n" "$reboots"
  done
  boot
  check "fourth boot: rollback" 'has "$BOARD_CONSOLE" "3 Times&RollBack"'
  check "fourth boot: the old software boots" 'has "$BOARD_CONSOLE" "Now boot from flash:/other.cc, please wait"'
  check "fourth boot: still from A" 'grep -q "linux /boot_A/bzImage" /boot/grub/grub.cfg'
  check "fourth boot: B's kernel copied again" 'diff -r /boot/boot_A /boot/boot_B > /dev/null'
  check_app "fourth boot: its application image mounted" /mnt/flash/other.cc other
}

# Updates whose write fails for other reasons: an empty kernel image (a subfile of only its
# 68-byte EFS block). GRUB stays; once a good package is back, the synchronisation copies the
# image whose .efs file is missing.
scenario_failed_update() {
  installed_board
  boot
  check_app "v1 boots" /mnt/flash/zq.cc v1
  board_take_down_app
  cp /mnt/flash/zq.cc "$BOARD_WORK/v1.cc"
  : > "$BOARD_WORK/empty"
  package_of /mnt/flash/zq.cc v2 "$BOARD_WORK/empty:0x5a5a" /boot/boot_A/rootfs.gz
  cp -a /boot/boot_A "$BOARD_WORK/A.before"
  board_set_fail_count 0
  local reboots
  reboots=$(board_reboot_count)
  boot
  check_refused "empty kernel" bzImage 1 "$reboots"
  check "empty kernel: the empty image is reported" 'has "$(this_boot_log)" " Error :/boot/boot_B/bzImage Write failed "'
  cp "$BOARD_WORK/v1.cc" /mnt/flash/zq.cc
  reboots=$(board_reboot_count)
  boot
  check "good package again: no reboot" '[ "$(board_reboot_count)" = "$reboots" ]'
  check "good package again: the kernel is copied again" 'has "$(this_boot_log)" " Info : Get Backup File ESF Info Fail" && diff -r /boot/boot_A /boot/boot_B > /dev/null'
  check_app "good package again: v1 mounted" /mnt/flash/zq.cc v1
}

# The startup package is a FIFO, and the flash volume holds a FIFO, a directory and a link to
# a device named like packages. No boot hangs (each is guarded, so that a hang fails the test
# instead of holding it): the package is refused as one that cannot be opened, the attempts are
# counted, and the rollback's search passes over the impostors to the real package.
scenario_fifo_package() {
  installed_board
  board_make_package /mnt/flash/other.cc v1 65536 other
  boot
  check_app "v1 boots" /mnt/flash/zq.cc v1
  rm /mnt/flash/zq.cc
  mkfifo /mnt/flash/zq.cc /mnt/flash/x.cc
  mkdir /mnt/flash/d.cc
  ln -s /dev/zero /mnt/flash/dev.cc
  board_set_fail_count 0
  local n reboots
  for n in 1 2 3; do
    reboots=$(board_reboot_count)
    BOARD_RUNNER="timeout -k 5 120" boot
    check "attempt $n: the loader did not hang" '[ $BOARD_STATUS = 0 ]'
    check "attempt $n: refused as a package that cannot be opened" 'has "$(this_boot_log)" " Error :Open Startup Software /mnt/flash/zq.cc Fail "'
    check "attempt $n: the boot fails and reboots" '[ "$(board_reboot_count)" -gt "$reboots" ]'
    check "attempt $n: counted" '[ "$(board_fail_count)" = "$n" ]'
    check_no_app "attempt $n: nothing mounted"
  done
  BOARD_RUNNER="timeout -k 5 120" boot
  check "fourth boot: the loader did not hang" '[ $BOARD_STATUS = 0 ]'
  check "fourth boot: rollback" 'has "$BOARD_CONSOLE" "3 Times&RollBack"'
  check "fourth boot: the search takes the real package" 'has "$BOARD_CONSOLE" "Now boot from flash:/other.cc, please wait"'
  check_app "fourth boot: its application image mounted" /mnt/flash/other.cc other
}

scenario=${1:?scenario}
declare -F "scenario_$scenario" > /dev/null || { echo "unknown scenario $scenario" >&2; exit 2; }
"scenario_$scenario"
if [ $fail = 0 ]; then
  echo "$scenario: all checks passed"
else
  echo "--- console of the last boot:"
  printf '%s\n' "${BOARD_CONSOLE:-}" | tr -d '\r'
  echo "--- end of the boot log:"
  tail -n 30 /mnt/flash/boot_log.txt 2> /dev/null | tr -d '\r'
  echo "--- loop devices:"
  losetup -a
fi
exit $fail
