#!/usr/bin/env bash
# Compares the dynamic symbols a library defines with the checked-in export lists:
# every listed name is exported, nothing else is, and the names listed as internal are absent.
# usage: check-exports.sh LIBRARY CHECK_NEEDED(0|1) HIDDEN_LIST LIST...
set -u
lib=$1 check_needed=$2 hidden=$3
shift 3
fail=0
names() { grep -hv '^[[:space:]]*\(#\|$\)' "$@" | awk '{print $1}' | sort -u; }
expected=$(names "$@")
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' |
         grep -vxE '_init|_fini|_edata|_end|__bss_start' | sort -u)
# The sanitizer build (no NEEDED check, unoptimised) also exports the function-type
# descriptors clang's function sanitizer adds and the standard library's template
# instantiations it did not inline; they are not ours.
if [ "$check_needed" = 0 ]; then actual=$(echo "$actual" | grep -vE '^(_ZT[IS]|_ZN?St)' || true); fi
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
if [ -n "$missing" ]; then echo "not exported but listed:"; echo "$missing" | sed 's/^/  /'; fail=1; fi
if [ -n "$extra" ]; then echo "exported but not listed:"; echo "$extra" | sed 's/^/  /'; fail=1; fi
if [ -f "$hidden" ]; then
  leaked=$(comm -12 <(names "$hidden") <(echo "$actual"))
  if [ -n "$leaked" ]; then echo "internal names exported:"; echo "$leaked" | sed 's/^/  /'; fail=1; fi
fi
if [ "$check_needed" = 1 ]; then
  needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -vE '^ld-linux' | sort -u)
  if [ "$needed" != "libc.so.6" ]; then echo "NEEDED is not libc alone:"; echo "$needed" | sed 's/^/  /'; fail=1; fi
fi
# nPth comes from the host process: used but left undefined, and no NEEDED entry for it.
case "$(basename "$lib")" in
  libbsp*)
    undefined=$(nm -D --undefined-only "$lib" | awk '{print $2}' | sed 's/@.*//')
    for f in npth_usleep npth_mutex_lock npth_mutex_timedlock npth_create npth_read npth_write npth_select \
             npth_connect npth_accept; do
      echo "$undefined" | grep -qx "$f" || { echo "$f is not an undefined reference"; fail=1; }
    done
    if readelf -d "$lib" | grep NEEDED | grep -q npth; then echo "libnpth is NEEDED"; fail=1; fi
    ;;
esac
count=$(echo "$expected" | grep -c .)
[ $fail = 0 ] && echo "$(basename "$lib"): $count exports match the lists"
exit $fail
