#!/bin/sh
# The desktop program as a user drives it, on a virtual X display:
#   test_desktop_e2e.sh ZYMRA ZYMRA_CLI PROJECT.zym OUTPUT_DIR
# opens PROJECT (prepared runs), starts all runs (F9), shows the process page,
# finishes all runs (F11), saves (Ctrl+S), ends the program with SIGTERM and
# checks the saved file with `zymra-cli info`. Screenshots of the welcome page and
# of the running runs go to OUTPUT_DIR. Exit 77: no xvfb-run or xdotool here.
set -u
ZYMRA=$1 CLI=$2 PROJECT=$3 OUT=$4

. "$(dirname "$0")/desktop_common.sh"
under_xvfb 1280x1024x24 "$0" "$@"

fail() { echo "FAIL: $*" >&2; [ -n "${PID:-}" ] && kill "$PID" 2>/dev/null; exit 1; }
shot() { command -v import >/dev/null 2>&1 && import -window root "$OUT/$1" 2>/dev/null; }

mkdir -p "$OUT"
WORK=$(mktemp -d)
cd "$WORK" || exit 1
QT_QPA_PLATFORM=xcb ZYMRA_NO_SPLASH=1 "$ZYMRA" "$PROJECT" &
PID=$!

WID=$(timeout 20 xdotool search --sync --onlyvisible --name "$(basename "$PROJECT")") || fail "no window names the project"
WID=$(echo "$WID" | head -n 1)
sleep 1
xdotool windowmove "$WID" 0 0
xdotool windowfocus --sync "$WID" || fail "window takes no focus"
sleep 0.5
shot welcome.png

xdotool key F9
sleep 1
# The process page of the first run: a click into the tree gives it the focus,
# Home selects the root, five rows down is the group "2. Fermentation", and Left
# activates the entry after it (Up and Left activate, Down only moves).
xdotool mousemove --window "$WID" 60 80 click 1
sleep 0.5
xdotool key Home Down Down Down Down Down Left
sleep 3
shot running.png

xdotool key F11
sleep 1
xdotool key ctrl+s
sleep 2
kill -TERM "$PID"
wait "$PID"
STATUS=$?
[ "$STATUS" -eq 0 ] || fail "exit status $STATUS after SIGTERM"
[ -e "$WORK/clip.tmp" ] && fail "clip.tmp left in the current folder"
[ -z "$(ls -A "$WORK")" ] || fail "files written to the current folder: $(ls -A "$WORK")"

"$CLI" info "$PROJECT" > "$OUT/info.txt" || fail "zymra-cli info failed"
cat "$OUT/info.txt"
FINISHED=$(grep -c "Finished" "$OUT/info.txt")
[ "$FINISHED" -ge 3 ] || fail "expected three finished runs, saw $FINISHED"
rmdir "$WORK"
rm -rf "$XDG_STATE_HOME"
echo "PASS"
