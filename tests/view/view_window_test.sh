#!/usr/bin/env bash
# brenmark-view under Xvfb: a stroke drawn with real X pointer events, undone
# (the window then shows the blank canvas), redone and saved. The saved
# document and the window's last picture must equal, byte for byte, what the
# headless tool paints from the samples the window fed to the engine.
# Usage: view_window_test.sh BRENMARK_VIEW BRENMARK WORKDIR
# Exit 77 (skipped) when the window program, Xvfb or xdotool is missing.
set -uo pipefail
view=$1 tool=$2 work=$3
skip() { echo "SKIPPED: $*"; exit 77; }
[ -n "$view" ] && [ -x "$view" ] || skip "brenmark-view is not built (SDL2 missing: install libsdl2-dev)"
command -v Xvfb >/dev/null || skip "no display server: Xvfb is not installed (Debian package xvfb)"
command -v xdotool >/dev/null || skip "xdotool is not installed (Debian package xdotool)"

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
pids=()
# The window first (SDL turns SIGTERM into a quit; a hung one is killed),
# then the display server.
cleanup() {
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null || continue
    for ((i = 0; i < 30; ++i)); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$p" 2>/dev/null
  done
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f app.log ] && sed 's/^/  app: /' app.log; exit 1; }
# Waits up to $2 tenths of a second for file $1.
wait_for() { for ((i = 0; i < $2; ++i)); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>display 2>xvfb.log &
pids+=($!)
wait_for display 100 || skip "Xvfb did not start: $(head -c 300 xvfb.log)"
export DISPLAY=:$(head -n1 display)
# Leak checking is off for the window process in sanitizer builds: SDL and
# the X libraries keep allocations until exit on purpose, from code without
# frame pointers, so the leak report cannot even name the library to
# suppress. Address and undefined-behaviour checks stay on.
asan="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

ASAN_OPTIONS=$asan "$view" --canvas 256x192 --save out.ora --screenshot undone.png \
  --screenshot-on-exit shot.png --pen-log stroke.pen >app.log 2>&1 &
app=$!
pids=($app "${pids[@]}")
# The title becomes the status line once the event loop runs.
win=$(timeout 60 xdotool search --sync --onlyvisible --name '^brenmark-view [|]' | head -n1)
[ -n "$win" ] || fail "no brenmark-view window appeared"

# A stroke along a known path: pressed at (30, 40), dragged in 24 steps.
xdotool mousemove --window "$win" 30 40 mousedown 1 || fail "xdotool could not press"
for i in $(seq 1 24); do xdotool mousemove --window "$win" $((30 + i * 8)) $((40 + i * 4 + (i % 5) * 3)); done
xdotool mouseup 1
wait_for stroke.pen 300 || fail "no pen samples were logged"
xdotool key --window "$win" ctrl+z F12
wait_for undone.png 300 || fail "no screenshot after undo"
xdotool key --window "$win" ctrl+y ctrl+s
wait_for out.ora 300 || fail "ctrl+s saved nothing"
xdotool key --window "$win" Escape
for ((i = 0; i < 600; ++i)); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "brenmark-view did not quit on Escape"
wait "$app" || fail "brenmark-view exited with $?"

[ "$(grep -vc '^#' stroke.pen)" -ge 10 ] || fail "only $(grep -vc '^#' stroke.pen) samples logged"
cat >ref.bms <<'BMS'
canvas 256 192
add-layer
export-canvas blank.png
brush radius=8
replay stroke.pen
export-canvas painted.png
BMS
printf 'open out.ora\nexport-canvas saved.png\n' >saved.bms
"$tool" ref.bms && "$tool" saved.bms || fail "the headless tool failed"
cmp -s undone.png blank.png || fail "after undo the window does not show the blank canvas"
cmp -s blank.png painted.png && fail "the replayed stroke painted nothing"
cmp -s shot.png painted.png || fail "the window's picture differs from the headless rendering"
cmp -s saved.png painted.png || fail "the saved document differs from the headless rendering"
echo "window picture, undo, redo and saved document match the headless tool ($(grep -vc '^#' stroke.pen) samples)"
