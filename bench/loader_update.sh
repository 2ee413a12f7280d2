#!/usr/bin/env bash
# The loader's cost on the sandboxed board's tmpfs, measured in rounds that pair each timed
# boot with its peer:
#   - the boot that updates a root file system of 150 MiB (it writes the other subarea, switches
#     GRUB, asks for the reboot and mounts the application), wall time without its fixed
#     one-second pause, against cp of the same image bytes into the same subarea plus sync
#     (target: at most 1.2 times, the median of the rounds' ratios);
#   - where that boot spends its time (bench/loader_phases.c, preloaded into the loader);
#   - the loader's peak resident memory during that boot (target: under 16 MiB);
#   - the steady-state boot (nothing to update), without its pause.
# Exits non-zero when a target is missed.
#   usage: bench/loader_update.sh [BUILD_DIR]    (default build/bench; root needed)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)

if [ "${BSP_SANDBOXED:-}" != 1 ]; then
  build=$(cd "${1:-$top/build/bench}" && pwd) || exit 1
  exec "$top/tools/sandbox/bsp-sandbox" -- env BOOTLOADER="$build/src/loader/bootloader" \
    MKPKG="$build/tools/board-sim/bsp-mkpkg" PHASES_LIB="$build/bench/libbsp_loader_phases.so" \
    EMULATOR="${EMULATOR:-}" bash "$0"
fi

# shellcheck source=../tools/board-sim/board-lib.sh
. "$top/tools/board-sim/board-lib.sh"
board_require_sandbox
[ -f "$PHASES_LIB" ] || { echo "no $PHASES_LIB: build with -DBSP_BENCH=ON" >&2; exit 2; }
# The boots attach and mount the application image on /dev/loop1 like a real boot; a loop
# device in use elsewhere would make them fail early and look fast.
if board_loop1_busy; then
  echo "/dev/loop1 is in use on this machine; run the benchmark when it is free" >&2
  exit 2
fi
export BOARD_WORK=/run/bsp-sandbox/bench
mkdir -p "$BOARD_WORK"
trap 'board_take_down_app' EXIT
rounds=9
image_bytes=$((150 * 1024 * 1024))
ratio_target=1.2
rss_target_kib=$((16 * 1024))
phases="$BOARD_WORK/phases"

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
# Median of the arguments.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# A field of the last line the phase library wrote.
phase() { tail -n 1 "$phases" | tr ' ' '\n' | sed -n "s/^$1=//p"; }

# Runs one boot with the phase library preloaded (it times only the loader); sets WALL
# (seconds, without the pause), RSS (KiB, the loader's peak resident memory) and, in the
# library's line, the phases of that boot.
timed_boot() {
  LD_PRELOAD=$PHASES_LIB BSP_PHASES_OUT=$phases board_boot
  mountpoint -q /mnt/squash || { echo "a boot did not mount the application image (/dev/loop1 taken?)" >&2; exit 2; }
  RSS=$(phase rss)
  WALL=$(calc "$BOARD_WALL - $(phase pause)")
}

# A board running v1 from A, both subareas synchronised, and a v2 package of 150 MiB.
board_lay_out
board_make_boot_images /boot/boot_A v1
board_make_package /mnt/flash/zq.cc v1
board_boot
board_make_package /mnt/flash/v1.cc v1
board_make_package /mnt/flash/v2.cc v2 "$image_bytes"
tmp=$(mktemp -d /mnt/bench.XXXXXX)
board_make_boot_images "$tmp" v2 "$image_bytes"

loader=() copy=() ratio=() rss=() steady=()
declare -A spent
names=(heads decision copy flushes commands)
for ((r = 0; r < rounds; r++)); do
  # Update: the package's images differ from A, so B receives them. The package is linked,
  # not copied, into its place: no 150 MiB of fresh writes just before the timed boot.
  ln -f /mnt/flash/v2.cc /mnt/flash/zq.cc
  sed -i 's/boot_B/boot_A/g' /boot/grub/grub.cfg
  rm -f /boot/boot_B/*
  timed_boot
  grep -q boot_B /boot/grub/grub.cfg || { echo "the update did not happen" >&2; exit 1; }
  loader+=("$WALL")
  rss+=("$RSS")
  rest=$WALL
  for n in "${names[@]}"; do
    v=$(phase "$n")
    spent[$n]="${spent[$n]:-} $v"
    rest=$(calc "$rest - $v")
  done
  spent[rest]="${spent[rest]:-} $rest"
  # cp of the same image bytes into the same subarea, and sync.
  rm -f /boot/boot_B/*
  t0=$(now)
  cp "$tmp/rootfs.gz" "$tmp/bzImage" /boot/boot_B/
  sync
  t1=$(now)
  c=$(calc "$t1 - $t0")
  copy+=("$c")
  ratio+=("$(calc "$WALL / $c")")
  # Steady state: A and B equal to the package.
  ln -f /mnt/flash/v1.cc /mnt/flash/zq.cc
  sed -i 's/boot_B/boot_A/g' /boot/grub/grub.cfg
  rm -f /boot/boot_B/*
  cp -a /boot/boot_A/. /boot/boot_B/
  timed_boot
  steady+=("$WALL")
  board_set_fail_count 0
done
rm -rf "$tmp"

l=$(median "${loader[@]}") c=$(median "${copy[@]}") q=$(median "${ratio[@]}")
m=$(median "${rss[@]}") s=$(median "${steady[@]}")
printf 'root file system update of 150 MiB (median of %d rounds)\n' "$rounds"
printf '  loader boot without the pause      %8.1f ms\n' "$(calc "$l * 1000")"
printf '  cp of the same bytes and sync      %8.1f ms\n' "$(calc "$c * 1000")"
printf '  where the loader boot goes (median of each):\n'
for n in "${names[@]}" rest; do
  # shellcheck disable=SC2086
  printf '    %-32s %8.1f ms\n' "$n" "$(calc "$(median ${spent[$n]}) * 1000")"
done
printf '  steady-state boot without the pause %7.1f ms\n' "$(calc "$s * 1000")"
printf '  per round, loader / (cp and sync):'
printf ' %.2f' "${ratio[@]}"
printf '\n\ntargets\n'
missed=0
met() { awk "BEGIN { exit !($1) }"; }
if met "$q <= $ratio_target"; then verdict=met; else verdict=MISSED; missed=$((missed + 1)); fi
printf '  %-34s %6.2f   target <= %s  %s\n' "loader update / (cp and sync)" "$q" "$ratio_target" "$verdict"
if met "$m < $rss_target_kib"; then verdict=met; else verdict=MISSED; missed=$((missed + 1)); fi
printf '  %-34s %6.1f   target < 16 MiB  %s\n' "loader peak resident memory, MiB" "$(calc "$m / 1024")" "$verdict"
[ "$missed" = 0 ] || { echo "$missed target(s) missed"; exit 1; }
