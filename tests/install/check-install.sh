#!/usr/bin/env bash
# The install contract: a fresh build installed with DESTDIR gives the libraries with their
# version links, the loader, headers, pkg-config files and a CMake package a consumer can use.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
rm -rf "$work"; mkdir -p "$work"
cmake -S "$top" -B "$work/build" -G Ninja -DBSP_BUILD_TESTS=OFF > "$work/configure.log" 2>&1
cmake --build "$work/build" > "$work/build.log" 2>&1
DESTDIR="$work/dest" cmake --install "$work/build" --prefix /opt/bsp > "$work/install.log" 2>&1
P="$work/dest/opt/bsp"
fail=0
expect() { if [ -e "$P/$1" ]; then :; else echo "missing: $1"; fail=1; fi; }
for f in lib/libbsp.so lib/libboundc.so lib/libbsp.so.1 lib/libboundc.so.1 lib/pkgconfig/bsp.pc \
         lib/pkgconfig/boundc.pc lib/cmake/bsp/bspConfig.cmake include/bsp/bsp_types.h; do
  expect "$f"
done
if [ -d "$top/src/loader" ] && grep -q add_executable "$top/src/loader/CMakeLists.txt" 2>/dev/null; then
  expect sbin/bootloader
fi
# The tools, runnable where they are installed (the image tool finds libboundc beside it).
for tool in bin/bsp-image sbin/bsp-boot; do
  expect "$tool"
  [ -x "$P/$tool" ] && "$P/$tool" --help > /dev/null || { echo "$tool does not run from $P"; fail=1; }
done
if "$P/bin/bsp-image" "$work/installed.img" create > /dev/null && "$P/bin/bsp-image" "$work/installed.img" check > /dev/null; then
  :
else
  echo "the installed bsp-image cannot create and check an image"; fail=1
fi
for lib in libbsp libboundc; do
  soname=$(readelf -d "$P/lib/$lib.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "$lib.so.1" ] || { echo "$lib SONAME is '$soname'"; fail=1; }
done
# A consumer finds the package and builds against it.
mkdir -p "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.20)
project(consumer C)
find_package(bsp REQUIRED)
add_executable(consumer main.c)
target_link_libraries(consumer PRIVATE bsp::boundc)
CM
cat > "$work/consumer/main.c" <<'C'
#include <bsp/bsp_types.h>
int main(void) { return 0; }
C
if ! cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_PREFIX_PATH="$P" > "$work/consumer.log" 2>&1 ||
   ! cmake --build "$work/consumer/build" >> "$work/consumer.log" 2>&1; then
  echo "consumer build failed:"; tail -20 "$work/consumer.log"; fail=1
fi
pc=$(PKG_CONFIG_PATH="$P/lib/pkgconfig" pkg-config --libs boundc)
case "$pc" in *-lboundc*) ;; *) echo "pkg-config boundc gives '$pc'"; fail=1 ;; esac
[ $fail = 0 ] && echo "install contract: ok"
exit $fail
