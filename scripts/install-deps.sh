#!/usr/bin/env bash
# Installs what the build and the test suites need, from Debian's packages.
# Skips the network when everything is already there.
set -u
pkgs=(build-essential cmake ninja-build pkg-config g++-multilib clang libclang-rt-14-dev
      libnpth0-dev libnpth0:i386 libgtest-dev libgmock-dev googletest libbenchmark-dev
      qemu-user squashfs-tools util-linux mount coreutils sed grep fdisk)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# A mirror index caught mid-sync can fail the update while all we need still installs.
apt-get update -q || echo "apt-get update reported a failure; checking the packages instead"
apt-get install -y -q --no-install-recommends "${missing[@]}"
still=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || still+=("$p")
done
if [ ${#still[@]} -ne 0 ]; then
  echo "missing packages: ${still[*]}" >&2
  exit 1
fi
