#!/bin/sh
# SIGTERM (a logout, a shutdown) while runs go, on a virtual X display:
#   test_desktop_sigterm.sh ZYMRA ZYMRA_CLI PROJECT.zym OUTPUT_DIR
# opens PROJECT (prepared runs first), starts them (F9), opens the about box, sends
# SIGTERM and checks that
# the program ends within 5 s with status 0, leaving the project in the recovery
# folder under its original name. Starts again, answers the recovery box with
# Return (Open), checks the window names PROJECT as modified, saves (Ctrl+S),
# which removes the recovery file, and ends with SIGTERM once more.
# Prints "SIGTERM to exit: N ms". Exit 77: no xvfb-run or xdotool here.
set -u
ZYMRA=$1 CLI=$2 PROJECT=$3 OUT=$4

. "$(dirname "$0")/desktop_common.sh"
under_xvfb 1366x768x24 "$0" "$@"

fail() { echo "FAIL: $*" >&2; [ -n "${PID:-}" ] && kill -KILL "$PID" 2>/dev/null; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

mkdir -p "$OUT"
RECOVERY=$XDG_STATE_HOME/zymra/recovery
NAME=$(basename "$PROJECT")
export QT_QPA_PLATFORM=xcb ZYMRA_NO_SPLASH=1 ZYMRA_AUTOSAVE_SECONDS=600

"$ZYMRA" "$PROJECT" &
PID=$!
WID=$(timeout 20 xdotool search --sync --onlyvisible --name "$NAME" | head -n 1) || fail "no window names the project"
xdotool windowfocus --sync "$WID" || fail "window takes no focus"
sleep 0.5
xdotool key F9
sleep 1.5
# A modal box open at the signal: the about box (Shift+F1).
xdotool key shift+F1
sleep 0.5
START=$(now_ms)
kill -TERM "$PID"
wait "$PID"
STATUS=$?
TOOK=$(( $(now_ms) - START ))
echo "SIGTERM to exit: $TOOK ms"
[ "$STATUS" -eq 0 ] || fail "exit status $STATUS after SIGTERM"
[ "$TOOK" -lt 5000 ] || fail "took $TOOK ms to end"

set -- "$RECOVERY"/*.zym
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one recovery file, found: $(ls -A "$RECOVERY" 2>&1)"
FILE=$1
[ "$(head -n 1 "${FILE%.zym}.origin")" = "$PROJECT" ] || fail "origin does not name $PROJECT"
"$CLI" info "$FILE" > "$OUT/recovered.txt" || fail "zymra-cli info failed on the recovery file"
cat "$OUT/recovered.txt"
# Stored while running, the runs come back finished with their results.
[ "$(grep -A1 "^  Run[123] " "$OUT/recovered.txt" | grep -c "state Finished")" -eq 3 ] ||
  fail "the three runs that went are not there"
grep -A1 "^  Run[123] " "$OUT/recovered.txt" | grep -o "[0-9]* rows" | awk '$1 < 10 { bad = 1 } END { exit bad }' ||
  fail "the runs that went were stored without their rows"
RUNS=$("$CLI" info "$PROJECT" | grep "^Runs:")
[ "$(grep "^Runs:" "$OUT/recovered.txt")" = "$RUNS" ] || fail "the recovered project does not hold every run ($RUNS)"

# The next start offers it; Return answers Open. The box is modal: keys to the
# main window go nowhere, so every window of the program gets the Return.
"$ZYMRA" &
PID=$!
timeout 20 xdotool search --sync --onlyvisible --name "Zymra" >/dev/null || fail "the program shows no window"
sleep 2
for W in $(xdotool search --onlyvisible --name "Zymra"); do
  xdotool windowfocus --sync "$W" 2>/dev/null && xdotool key Return
done
WID=$(timeout 10 xdotool search --sync --onlyvisible --name "$NAME \\*" | head -n 1) ||
  fail "the recovered project is not shown as modified under $NAME"
[ -f "$FILE" ] || fail "the recovery file went before the project was saved"
xdotool windowfocus --sync "$WID"
xdotool key ctrl+s
sleep 2
[ -f "$FILE" ] && fail "the recovery file stays after the save"
kill -TERM "$PID"
wait "$PID"
STATUS=$?
[ "$STATUS" -eq 0 ] || fail "exit status $STATUS after the second SIGTERM"
[ -z "$(ls "$RECOVERY"/*.zym 2>/dev/null)" ] || fail "a saved project was written to the recovery folder"
"$CLI" info "$PROJECT" > "$OUT/saved.txt" || fail "zymra-cli info failed on the saved project"
cmp -s "$OUT/recovered.txt" "$OUT/saved.txt" || fail "the saved project differs from the recovered one"
rm -rf "$XDG_STATE_HOME"
echo "PASS"
