#!/usr/bin/env bash
# The sandboxed board itself: the reboot stand-in is bound and first in PATH before the
# command runs, nothing leaks outside, and test binaries refuse to run off the board.
# usage: sandbox_test.sh BSP_SANDBOX GUARDED_TEST_BINARY [EMULATOR]
set -u
sandbox=$1 guarded=$2 emulator=${3:-}
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }

record=$(mktemp)
out=$("$sandbox" --record "$record" -- sh -c '
  for p in /sbin/reboot /usr/sbin/reboot "$(command -v reboot)" "$(command -v systemctl)"; do
    [ -e "$p" ] || continue
    "$p" --bsp-standin-check
  done
  reboot -f now
  systemctl reboot
  touch /mnt/inside-only /boot/inside-only
  echo "path-first=$(command -v reboot)"
')
check "every reboot binary answers as the stand-in" \
  '[ "$(echo "$out" | grep -c "bsp reboot stand-in")" -ge 2 ] && ! echo "$out" | grep -v -e "bsp reboot stand-in" -e "^path-first=" | grep -q .'
check "the stand-in is first in PATH" 'echo "$out" | grep -q "^path-first=/run/bsp-sandbox/bin/reboot"'
check "reboot requests are recorded, not performed" \
  '[ "$(cat "$record")" = "$(printf "reboot -f now\nsystemctl reboot")" ]'
check "files made on the board stay inside" '[ ! -e /mnt/inside-only ] && [ ! -e /boot/inside-only ]'
rm -f "$record"

# A test binary run off the board refuses before doing anything.
msg=$(env -u BSP_SANDBOXED $emulator "$guarded" 2>&1); rc=$?
check "a test binary refuses to run outside the sandbox" \
  '[ $rc -ne 0 ] && echo "$msg" | grep -q "refusing to run"'

[ $fail = 0 ] && echo "sandbox: all checks passed"
exit $fail
