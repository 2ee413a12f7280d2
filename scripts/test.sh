#!/usr/bin/env bash
# Builds from scratch and runs every suite: 64-bit, 32-bit under qemu-i386, sanitizers
# with the fuzz targets, and the install contract. Run as root (the sandboxed board needs
# mount namespaces). Usage: scripts/test.sh [--keep]   (build trees go to build/ci-*)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/install-deps.sh || { echo "dependency install failed"; exit 1; }

out=${BSP_BUILD_ROOT:-$top/build}
mkdir -p "$out"
jobs=$(nproc)
passed=0 failed=0 failed_legs=()

leg() {  # leg NAME CONFIGURE-ARGS...
  local name=$1; shift
  local dir="$out/ci-$name"
  echo "=== $name: configure and build"
  rm -rf "$dir"
  if ! cmake -S . -B "$dir" -G Ninja -DBSP_BUILD_TESTS=ON "$@" > "$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; failed=$((failed + 1)); failed_legs+=("$name:configure"); return
  fi
  if ! cmake --build "$dir" -j "$jobs" > "$dir.build.log" 2>&1; then
    tail -60 "$dir.build.log"; failed=$((failed + 1)); failed_legs+=("$name:build"); return
  fi
  echo "=== $name: tests"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 900 2>&1 | tee "$dir.ctest.log" | tail -40
  local p f
  p=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "$dir.ctest.log")
  f=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*(Failed|Exception|Timeout|Not Run)' "$dir.ctest.log")
  passed=$((passed + p)); failed=$((failed + f))
  [ "$f" -eq 0 ] && [ "$p" -gt 0 ] || failed_legs+=("$name:tests")
}

# What the real /mnt and /boot hold before the suites; no test may change it.
outside_state() { find /mnt /boot -xdev -maxdepth 2 -not -path '/mnt/sandboxing*' 2>/dev/null | sort; }
before=$(outside_state)

leg x86_64 -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The 32-bit leg's identity test runs the same operations through the 64-bit leg's tree too.
leg i386 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchains/i386-linux-gnu.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBSP_PEER_BUILD="$out/ci-x86_64"
leg sanitize -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBSP_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug

echo "=== install contract"
if bash tests/install/check-install.sh "$out/ci-install"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); failed_legs+=("install")
fi

if [ "$(outside_state)" = "$before" ]; then
  passed=$((passed + 1))
else
  echo "a suite wrote outside its sandbox:"; diff <(echo "$before") <(outside_state)
  failed=$((failed + 1)); failed_legs+=("outside-writes")
fi

[ ${#failed_legs[@]} -eq 0 ] || echo "failing: ${failed_legs[*]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ ${#failed_legs[@]} -eq 0 ]
