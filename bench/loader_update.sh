#!/usr/bin/env bash
# The loader's cost on the sandboxed board's tmpfs:
#   - a root file system update of 150 MiB (the boot that writes the other subarea), wall time
#     against cp of the same image bytes measured in the same run (target: at most 1.3 times);
#   - the loader's peak resident memory during that update (target: under 16 MiB);
#   - the steady-state boot (nothing to update).
# Both boot times leave out the loader's fixed one-second pause before it reboots or mounts.
#   usage: bench/loader_update.sh [BUILD_DIR]    (default build/bench; root needed)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)

if [ "${BSP_SANDBOXED:-}" != 1 ]; then
  build=$(cd "${1:-$top/build/bench}" && pwd) || exit 1
  exec "$top/tools/sandbox/bsp-sandbox" -- env BOOTLOADER="$build/src/loader/bootloader" \
    MKPKG="$build/tools/board-sim/bsp-mkpkg" EMULATOR="${EMULATOR:-}" bash "$0"
fi

# shellcheck source=../tools/board-sim/board-lib.sh
. "$top/tools/board-sim/board-lib.sh"
board_require_sandbox
export BOARD_WORK=/run/bsp-sandbox/bench
mkdir -p "$BOARD_WORK"
trap 'board_take_down_app' EXIT
rounds=5
pause=1.0  # the loader's sleep before it reboots or mounts
image_bytes=$((150 * 1024 * 1024))

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
# Median of the arguments.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# Runs one boot; sets WALL (seconds) and RSS (KiB, peak resident set of the loader).
timed_boot() {
  BOARD_RUNNER="/usr/bin/time -f %M -o $BOARD_WORK/rss" board_boot
  WALL=$BOARD_WALL
  RSS=$(tail -n 1 "$BOARD_WORK/rss")
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

loader=() copy=() rss=() steady=()
for ((r = 0; r < rounds; r++)); do
  # Update: the package's images differ from A, so B receives them.
  cp /mnt/flash/v2.cc /mnt/flash/zq.cc
  sed -i 's/boot_B/boot_A/g' /boot/grub/grub.cfg
  rm -f /boot/boot_B/*
  timed_boot
  grep -q boot_B /boot/grub/grub.cfg || { echo "the update did not happen" >&2; exit 1; }
  loader+=("$(calc "$WALL - $pause")")
  rss+=("$RSS")
  # cp of the same image bytes, same file system.
  rm -f /boot/boot_B/*
  local_t0=$(now)
  cp "$tmp/rootfs.gz" "$tmp/bzImage" /boot/boot_B/
  local_t1=$(now)
  copy+=("$(calc "$local_t1 - $local_t0")")
  # Steady state: A and B equal to the package.
  cp /mnt/flash/v1.cc /mnt/flash/zq.cc
  sed -i 's/boot_B/boot_A/g' /boot/grub/grub.cfg
  rm -f /boot/boot_B/*
  cp -a /boot/boot_A/. /boot/boot_B/
  timed_boot
  steady+=("$(calc "$WALL - $pause")")
  board_set_fail_count 0
done
rm -rf "$tmp"

l=$(median "${loader[@]}") c=$(median "${copy[@]}") m=$(median "${rss[@]}") s=$(median "${steady[@]}")
printf 'root file system update of 150 MiB (median of %d):\n' "$rounds"
printf '  loader boot without the pause  %8.3f s\n' "$l"
printf '  cp of the same bytes           %8.3f s\n' "$c"
printf '  ratio loader / cp              %8.2f   (target <= 1.3)\n' "$(calc "$l / $c")"
printf '  update work (update boot - steady boot) / cp %6.2f\n' "$(calc "($l - $s) / $c")"
printf '  loader peak resident memory    %8.1f MiB (target < 16)\n' "$(calc "$m / 1024")"
printf 'steady-state boot without the pause %5.1f ms\n' "$(calc "$s * 1000")"
