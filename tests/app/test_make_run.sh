#!/bin/sh
# `make run` without a display: one line says so, the default fed batch is simulated on the
# command line and its OD and growth-rate charts land in the build folder as PNG files.
#   test_make_run.sh SOURCE_DIR BUILD_DIR
# The build itself is taken as done (make -o build): this checks the run step only.
set -u
SRC=$1 BUILD=$2
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT
rm -f "$BUILD/default-fed-batch-od.png" "$BUILD/default-fed-batch-growth-rate.png"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM make -s -C "$SRC" -o build run BUILD="$BUILD" >"$OUT" 2>&1 ||
  { cat "$OUT"; echo "FAIL: make run failed"; exit 1; }
fail() { cat "$OUT"; echo "FAIL: $*"; exit 1; }
head -n 1 "$OUT" | grep -q "^No display (DISPLAY and WAYLAND_DISPLAY are not set)" || fail "first line does not say there is no display"
grep -q "Finish-" "$OUT" || fail "no event log of a finished run"
for f in default-fed-batch-od.png default-fed-batch-growth-rate.png; do
  [ "$(head -c 8 "$BUILD/$f" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "$f is not a PNG file"
  tail -n 1 "$OUT" | grep -q "$BUILD/$f" || fail "$f is not named"
done
echo "ok"
