#!/usr/bin/env bash
# The duplicate finder in the real program, driven by keys: open it from the
# menu, type a folder holding three copies of one picture, scan, compare,
# mark the smaller file, delete it, and its database record is zeroed.
# Usage: duplicates_e2e.sh <path of the ambrel program>
set -uo pipefail
AMBREL="$1"
CONVERT=/usr/bin/convert
IMPORT=/usr/bin/import
source "$(dirname "$0")/session.sh"
private_session
DB="$XDG_DATA_HOME/Velvix/Ambrel/ambrelid.dat"
# Typed into the form: xdotool types non-ASCII letters through a remapped
# key, which a loaded machine may lose, so the non-ASCII name is a file's.
PHOTOS="$WORK/photos [1] %d"

fail() {
  echo "FAIL: $*"
  [ -s "$WORK/app.log" ] && sed 's/^/  app: /' "$WORK/app.log"
  "$IMPORT" -window root /tmp/ambrel-e2e-duplicates-failure.png 2>/dev/null
  exit 1
}
size() { stat -c %s "$1" 2>/dev/null || echo 0; }

start_display 1280x900x24 || fail "no X server"

# One picture as a PNG, the same pixels as a bitmap and as a PNG with bytes
# after its end (three sizes), and an unrelated picture.
# ImageMagick reads '%d' in names as a frame number: make them elsewhere.
mkdir -p "$PHOTOS" "$WORK/gen"
"$CONVERT" -seed 7 -size 96x64 plasma:fractal "$WORK/gen/a.png" || fail "convert"
"$CONVERT" "$WORK/gen/a.png" "BMP3:$WORK/gen/b.bmp"
"$CONVERT" -seed 99 -size 96x64 plasma:fractal "$WORK/gen/other.png"
cp "$WORK/gen/a.png" "$PHOTOS/a.png"
cp "$WORK/gen/b.bmp" "$PHOTOS/b copy.bmp"
cp "$WORK/gen/a.png" "$PHOTOS/C [*] ü.PNG" && printf 'trailing bytes' >>"$PHOTOS/C [*] ü.PNG"
cp "$WORK/gen/other.png" "$PHOTOS/other.png"

"$AMBREL" >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_window '^Ambrel$' 20 || fail "no main window"
MAIN=$WID
sleep 1.5 # the splash fades
keys() { xdotool windowfocus --sync "$MAIN" 2>/dev/null; sleep 0.2; xdotool key --delay 120 "$@"; }
keys alt+a f
sleep 1.5
# The path field has the focus when the form opens.
xdotool type --delay 5 "$PHOTOS"
keys alt+a alt+n
wait_for "[ \"\$(size \"$DB\")\" -eq $((4 * 1285)) ]" 30 || fail "the scan wrote $(size "$DB") bytes"
sleep 1
xdotool key Return # "Scan process finished."
sleep 0.5
keys alt+o
sleep 2
keys alt+s
wait_window '^Summary$' 10 || fail "no summary of the marks"
xdotool key Return
sleep 0.3
SMALLEST=$(cd "$PHOTOS" && stat -c '%s %n' a.png "b copy.bmp" "C [*] ü.PNG" | sort -n | head -1 | cut -d' ' -f2-)
keys alt+d
wait_window '^Confirm Delete$' 10 || fail "no delete question"
xdotool windowfocus --sync "$WID" 2>/dev/null
sleep 0.2
xdotool key y
wait_for "[ ! -e \"$PHOTOS/$SMALLEST\" ]" 10 || fail "the smallest copy ($SMALLEST) was not deleted"
[ "$(ls "$PHOTOS" | wc -l)" -eq 3 ] || fail "other files went: $(ls "$PHOTOS")"

# Exactly one record of the four is zeroed, all of its 1285 bytes.
ZEROED=$(python3 - "$DB" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
records = [data[i:i + 1285] for i in range(0, len(data), 1285)]
print(sum(1 for r in records if r == bytes(1285)), sum(1 for r in records if r[0] == 0))
EOF
)
[ "$ZEROED" = "1 1" ] || fail "zeroed records: $ZEROED"
"$IMPORT" -window root "$WORK/shot.png" 2>/dev/null
echo "1 passed, 0 failed"
