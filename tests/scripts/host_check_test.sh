#!/usr/bin/env bash
# The host check of scripts/wine-env: its 32-bit probe is a sound i386 program (run under the
# qemu-i386 emulator, which executes it on any host), and what the check decides agrees with
# whether the installed 32-bit Wine loader really starts here; without a Wine nothing is offered.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/wine-env
. "$top/scripts/wine-env"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
pg_write_32bit_probe "$probe"
status=0
qemu-i386 "$probe" || status=$?
[ "$status" -eq 42 ] || fail "the probe under qemu-i386 exits with $status, not 42"

if pg_host_runs_32bit; then runs32=yes; else runs32=no; fi
if [ -x "$pg_wine32_loader" ]; then
  if "$pg_wine32_loader" --version >/dev/null 2>&1; then loader=yes; else loader=no; fi
  [ "$runs32" = "$loader" ] || fail "host check says 32-bit code runs: $runs32; the 32-bit Wine starts: $loader"
else
  echo "note: no 32-bit Wine installed here; the check's answer ($runs32) is compared with the probe only"
fi

pg_find_runnable_builds
echo "host check: ${pg_runnable_builds[*]:-no build} ($pg_runnable_reason)"
if [ "$runs32" = no ] && [[ " ${pg_runnable_builds[*]} " == *" win32 "* ]]; then
  fail "the 32-bit build is offered on a host that cannot execute 32-bit code"
fi
# Without a 64-bit Wine, a host that cannot execute 32-bit code has nothing to offer, and the
# reason names the missing Wine.
if [ "$runs32" = no ]; then
  pg_wine64_loader=/nonexistent/wine64
  pg_find_runnable_builds
  [ ${#pg_runnable_builds[@]} -eq 0 ] || fail "builds offered without any Wine: ${pg_runnable_builds[*]}"
  [[ "$pg_runnable_reason" == *"/nonexistent/wine64"* ]] || fail "reason does not name the missing Wine: $pg_runnable_reason"
fi
[ "$failures" -eq 0 ]
