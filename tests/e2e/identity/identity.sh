#!/usr/bin/env bash
# The same operations through two builds of the system (normally the 32-bit appliance build,
# under qemu-i386, and the 64-bit build) on the sandboxed board: the start-up roots, pieces
# writes, load state choices, boot records (boot after boot with the real loader) and
# flash-dynamic saves (by a library host process and by bsp-image). Each
# build alone must leave the same bytes in /mnt/misc/flashfile and /mnt/flash/.bootMem.dat,
# and so must runs in which the two builds take turns, operation by operation: each build
# takes up what the other wrote. Last, each build shows the pieces and the load state the
# other wrote as the writer shows them.
#
# Environment: OWN_SHELL, OWN_LIBRARY, OWN_BOOT, OWN_LOADER, OWN_IMAGE, OWN_FDY, OWN_EMULATOR
# (this build tree),
# MKPKG, PEER_BUILD (the other build tree; without it the test is skipped, exit 77) and
# optionally PEER_EMULATOR (default: the peer tree's qemu-i386 when it is a 32-bit tree).
# Runs inside bsp-sandbox only.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../../tools/board-sim/board-lib.sh
. "$here/../../../tools/board-sim/board-lib.sh"
board_require_sandbox

if [ -z "${PEER_BUILD:-}" ]; then
  echo "skipped: no peer build tree; configure this tree with -DBSP_PEER_BUILD=<the other build's tree>"
  exit 77
fi
PEER_SHELL=$PEER_BUILD/tools/bsp-shell/bsp-shell
PEER_LIBRARY=$PEER_BUILD/src/libbsp.so
PEER_BOOT=$PEER_BUILD/tools/bsp-boot/bsp-boot
PEER_LOADER=$PEER_BUILD/src/loader/bootloader
PEER_IMAGE=$PEER_BUILD/tools/bsp-image/bsp-image
PEER_FDY=$PEER_BUILD/tests/unit/fdy/fdy_probe
for f in "$PEER_SHELL" "$PEER_LIBRARY" "$PEER_BOOT" "$PEER_LOADER" "$PEER_IMAGE" "$PEER_FDY"; do
  [ -f "$f" ] || { echo "FAIL: the peer build tree $PEER_BUILD lacks $f (build it first)"; exit 1; }
done
if [ -z "${PEER_EMULATOR+set}" ]; then
  PEER_EMULATOR=$(sed -n 's/^BSP_QEMU_I386:FILEPATH=//p' "$PEER_BUILD/CMakeCache.txt" 2>/dev/null)
fi
elf_bits() { case "$(od -An -tu1 -j 4 -N 1 "$1" | tr -d ' ')" in 1) echo 32 ;; 2) echo 64 ;; *) echo "?" ;; esac; }
echo "this build: $(elf_bits "$OWN_LIBRARY")-bit${OWN_EMULATOR:+, under $OWN_EMULATOR}"
echo "peer build: $(elf_bits "$PEER_LIBRARY")-bit${PEER_EMULATOR:+, under $PEER_EMULATOR}: $PEER_BUILD"

export BOARD_WORK=/run/bsp-sandbox/identity
mkdir -p "$BOARD_WORK/bin" "$BOARD_WORK/packages" "$BOARD_WORK/results"
cd "$BOARD_WORK" || exit 1
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }

# The application image is neither attached nor mounted, so /dev/loop1 stays free.
board_stand_in_app_mount
trap 'board_take_down_app' EXIT

# One set of packages for every run (a squashfs image carries its build time).
EMULATOR=${OWN_EMULATOR:-}
board_make_package "$BOARD_WORK/packages/zq.cc" v1 || exit 1
board_make_package "$BOARD_WORK/packages/v2.cc" v2 || exit 1
board_make_package "$BOARD_WORK/packages/v3.cc" v3 || exit 1
head -c 7000 /dev/urandom > "$BOARD_WORK/fdy13"
head -c 1000 /dev/urandom > "$BOARD_WORK/fdy11"

# --- what a build does: B is "own" or "peer" ---
build_vars() {
  if [ "$1" = own ]; then
    EMU=${OWN_EMULATOR:-} SHELL_BIN=$OWN_SHELL LIB=$OWN_LIBRARY BOOT_BIN=$OWN_BOOT LOADER=$OWN_LOADER
    IMAGE_BIN=$OWN_IMAGE FDY_BIN=$OWN_FDY
  else
    EMU=${PEER_EMULATOR:-} SHELL_BIN=$PEER_SHELL LIB=$PEER_LIBRARY BOOT_BIN=$PEER_BOOT LOADER=$PEER_LOADER
    IMAGE_BIN=$PEER_IMAGE FDY_BIN=$PEER_FDY
  fi
}
# The reference host: a start-up root and debug command lines.
host() {  # host B [bsp-shell args]
  build_vars "$1"; shift
  OUT=$($EMU "$SHELL_BIN" --lib "$LIB" "$@" 2>&1)
}
choose() {  # choose B NAME
  build_vars "$1"
  OUT=$($EMU "$BOOT_BIN" --lib "$LIB" choose "$2" 2>&1)
}
# A library host process on the flash-dynamic area: FDY_InitFlashDyna as the root's step,
# then saves (contents are the probe's pattern of identifier and length) and renames.
fdyhost() {  # fdyhost B [probe commands]
  build_vars "$1"; shift
  OUT=$($EMU "$FDY_BIN" init 0x180000 0x200000 "$@" 2>&1)
}
image() {  # image B [bsp-image command]
  build_vars "$1"; shift
  OUT=$($EMU "$IMAGE_BIN" /mnt/misc/flashfile "$@" 2>&1)
  OUT+=$'\n'"bsp-image status $?"
}
boot() {  # boot B
  build_vars "$1"
  BOOTLOADER=$LOADER EMULATOR=$EMU board_boot
  OUT=$BOARD_CONSOLE
}

# The operations, in order. Each is a command line of the functions above without the build.
OPS=(
  "host --process main"                                    # the roots create the files
  "host --process lum"
  "host --process monitor"
  "host -c 'bsp pieces write 3 0 0x41 16'"                 # pieces files, written and rewritten
  "host -c 'bsp pieces write 5 8 0x5a 100'"
  "host -c 'bsp pieces write 3 4 0x42 8'"
  "host -c 'bsp init load state 0 0'"                      # the default load state word
  "boot"                                                   # attempt counted, subareas synchronised
  "host --boot-good"
  "choose flash:/v2.cc"                                    # the host's choice, counters cleared
  "boot"                                                   # the update: B written, GRUB switched
  "boot"                                                   # back over A, attempt counted
  "host --boot-good"
  "host -c 'bsp pieces write 7 0 0x77 128'"
  "boot" "boot" "boot"                                     # three attempts without a good boot
  "boot"                                                   # the fourth rolls back, then searches
  "choose flash:/v3.cc"
  "boot"
  "fdyhost save 10 5000 1 save 11 9000 1 save 12 300 1"  # flash-dynamic files
  "image fdy put 13 $BOARD_WORK/fdy13"
  "fdyhost save 10 20000 0"                                # grows: the files behind move up
  "image fdy put 11 $BOARD_WORK/fdy11"                     # shrinks: the files behind move down
  "fdyhost save 12 100 0 rename 10 20"
  "host --process main --boot-good"                        # the root takes up the area as it is
)

# Runs every operation on a new board; the builds take turns as the pattern says (a word per
# operation, repeated: "own", "peer", "own peer", "peer own").
run() {  # run NAME PATTERN...
  local name=$1 i=0 who
  shift
  local pattern=("$@")
  rm -rf /mnt/* /boot/*
  board_lay_out
  board_make_boot_images /boot/boot_A v1
  cp "$BOARD_WORK"/packages/*.cc /mnt/flash/
  : > "$BOARD_WORK/results/$name.log"
  for op in "${OPS[@]}"; do
    who=${pattern[$((i % ${#pattern[@]}))]}
    i=$((i + 1))
    local args=""
    [[ $op == *" "* ]] && args=${op#* }
    eval "${op%% *} $who $args" 2> /dev/null
    printf '== %s: %s\n%s\n' "$who" "$op" "$OUT" >> "$BOARD_WORK/results/$name.log"
  done
  cp /mnt/misc/flashfile "$BOARD_WORK/results/$name.flashfile"
  cp /mnt/flash/.bootMem.dat "$BOARD_WORK/results/$name.bootMem.dat"
}

same_bytes() {  # same_bytes RUN1 RUN2 FILE
  cmp "$BOARD_WORK/results/$1.$3" "$BOARD_WORK/results/$2.$3" > /dev/null
}
# The first bytes that differ, for the log: position (from 1), then the two bytes in octal.
show_difference() {  # show_difference RUN1 RUN2 FILE
  echo "    position  $1  $2"
  cmp -l "$BOARD_WORK/results/$1.$3" "$BOARD_WORK/results/$2.$3" 2>&1 | head -n 8 | sed 's/^/    /'
}

run own own
run peer peer
run own_first own peer
run peer_first peer own

# The runs did what they should: otherwise equal files could be equally empty.
log=$(cat "$BOARD_WORK/results/own.log")
has() { [[ $1 == *"$2"* ]]; }
check "the update boot switched GRUB" 'has "$log" "Update rootfs.gz !!!"'
check "the fourth boot without a good boot rolled back" 'has "$log" "3 Times&RollBack"'
check "the last boot started the host's last choice" 'has "$log" "Now boot from flash:/v3.cc"'
check "every flash-dynamic save and rename succeeded" \
  '[ "$(grep -c "^@@.* rc=0$" <<< "$log")" = 9 ] && ! grep -q "^@@.* rc=[^0]" <<< "$log"'
check "bsp-image saved both its files" '[ "$(grep -c "^bsp-image status 0$" <<< "$log")" = 2 ]'

for f in flashfile bootMem.dat; do
  for r in peer own_first peer_first; do
    if same_bytes own "$r" "$f"; then
      echo "ok: $f: run '$r' leaves the same bytes as run 'own'"
    else
      echo "FAIL: $f: run '$r' differs from run 'own':"
      show_difference own "$r" "$f"
      fail=1
    fi
  done
done

# Each build shows what the other wrote as the writer does (the library's banner carries its
# build time and is left out).
shown() {  # shown B: the pieces, the load state word and the flash-dynamic files as build B shows them
  host "$1" -c "bsp show pieces" -c "bsp show load state 0 0"
  printf '%s\n' "$OUT" | tr -d '\r' | grep -v 'creation Data'
  image "$1" fdy ls
  printf '%s\n' "$OUT"
  image "$1" fdy get 13
  printf '%s\n' "$OUT" | od -An -tx1 | md5sum
}
lists_files() {  # lists_files TEXT ID...: fdy ls in TEXT names every ID
  local text=$1 id
  shift
  for id in "$@"; do grep -qE "^ *$id:" <<< "$text" || return 1; done
}
for writer in own peer; do
  rm -rf /mnt/* /boot/*
  board_lay_out
  mkdir -p /mnt/misc
  cp "$BOARD_WORK/results/$writer.flashfile" /mnt/misc/flashfile
  cp "$BOARD_WORK/results/$writer.bootMem.dat" /mnt/flash/.bootMem.dat
  a=$(shown own) b=$(shown peer)
  check "both builds show the pieces and load state that run '$writer' wrote alike" '[ "$a" = "$b" ]'
  check "what they show is the last choice" 'has "$a" "flash:/v3.cc" && has "$a" "VfsPiecesFile7"'
  check "what they show holds the flash-dynamic files" 'lists_files "$a" 11 12 13 20'
done

exit $fail
