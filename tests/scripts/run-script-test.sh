#!/usr/bin/env bash
# ./run on a copy of the clone whose installer, build and program are stand-ins that
# record what they were asked: without a display it says so in one line and fails
# without building or starting anything; with one it builds the simulator too and
# starts the program in the caller's folder with the caller's arguments.
set -u
src="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clone="$work/clone"
mkdir -p "$clone/scripts" "$clone/build/bin" "$clone/data" "$work/stubs" "$work/elsewhere" "$work/data"
cp "$src/run" "$clone/run"
: >"$clone/data/Kestrovan Operation Guide.txt"
printf '#!/bin/sh\necho install >>"%s/log"\n' "$work" >"$clone/scripts/install-deps"
printf '#!/bin/sh\necho "cmake $*" >>"%s/log"\n' "$work" >"$work/stubs/cmake"
printf '#!/bin/sh\nmkdir -p "$1"\n' >"$clone/build/bin/kv-tables"
printf '#!/bin/sh\necho "program in $PWD with $*" >>"%s/log"\n' "$work" >"$clone/build/bin/Kestrovan10"
chmod +x "$clone/run" "$clone/scripts/install-deps" "$work/stubs/cmake" "$clone/build/bin/"*
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

# No display.
out=$(cd "$work/elsewhere" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  PATH="$work/stubs:$PATH" XDG_DATA_HOME="$work/data" "$clone/run" 2>&1)
rc=$?
check "no display ends with a non-zero status" '[ $rc -ne 0 ]'
check "no display: one line" '[ "$(printf "%s\n" "$out" | wc -l)" -eq 1 ]'
check "the line says a graphical desktop is needed and how" \
  'printf "%s" "$out" | grep -q "graphical desktop" && printf "%s" "$out" | grep -q "ssh -X"'
check "no display starts no program" '! grep -q program "$work/log" 2>/dev/null'
rm -f "$work/log"

# A display, from another folder, with a waveform named relative to it.
(cd "$work/elsewhere" && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:99 \
  PATH="$work/stubs:$PATH" XDG_DATA_HOME="$work/data" "$clone/run" mywave.kwf) >/dev/null 2>&1
check "the simulator is built" 'grep -q -- "--target.*instrument-sim" "$work/log"'
check "the program starts in the caller's folder with its arguments" \
  'grep -qx "program in $work/elsewhere with mywave.kwf" "$work/log"'
[ $fail -eq 0 ] && echo "run script: all checks passed"
exit $fail
