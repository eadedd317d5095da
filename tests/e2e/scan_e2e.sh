#!/usr/bin/env bash
# The real program scans from SANE's test backend in its own X server:
# Ctrl+Q opens the source's dialog, Enter scans, the picture opens in a new
# image window, Esc closes the source. Without scanners Ctrl+Q shows the
# Twain box. Usage: scan_e2e.sh AMBREL CASE
set -uo pipefail
AMBREL="$1"
CASE="$2"
source "$(dirname "$0")/session.sh"
private_session
fail() { echo "FAIL: $*"; [ -s "$WORK/app.log" ] && sed 's/^/  app: /' "$WORK/app.log"; [ -f "$WORK/last.png" ] && cp "$WORK/last.png" "/tmp/ambrel-e2e-scan-$CASE-failure.png"; exit 1; }

# A private SANE configuration: the test backend only, a black page of
# 80 x 50 mm at 100 dpi (315 x 197 pixels).
export SANE_CONFIG_DIR="$WORK/sane"
mkdir -p "$SANE_CONFIG_DIR"
if [ "$CASE" = noscanner ]; then : >"$SANE_CONFIG_DIR/dll.conf"; else echo test >"$SANE_CONFIG_DIR/dll.conf"; fi
cat >"$SANE_CONFIG_DIR/test.conf" <<'CONF'
number_of_devices 1
mode Gray
depth 8
resolution 100.0
test-picture "Solid black"
tl_x 0.0
tl_y 0.0
br_x 80.0
br_y 50.0
CONF

start_display 1700x1000x24
[ -n "$XVFB_PID" ] || fail "no X server"

shot() { import -window root "$WORK/last.png" 2>/dev/null || fail "screenshot"; }
# Black pixels inside the main window (the screen around it is black too).
count_black() {
  convert "$WORK/last.png" -crop "$AREA" +repage -alpha off -colorspace gray -threshold 1% -negate \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}
press() { xdotool windowfocus --sync "$1" 2>/dev/null; sleep 0.3; xdotool key "$2"; }

"$AMBREL" >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_window '^Ambrel$' 15 || fail "no main window"
MAIN="$WID"
sleep 1.5
eval "$(xdotool getwindowgeometry --shell "$MAIN")"
AREA="${WIDTH}x${HEIGHT}+${X}+${Y}"
shot
BLACK_BEFORE=$(count_black)
press "$MAIN" ctrl+q

case "$CASE" in
acquire)
  wait_window '^Scan$' 10 || fail "no source dialog"
  DIALOG="$WID"
  # Beside the main window, so that the new picture stays in sight.
  xdotool windowmove --sync "$DIALOG" 1050 0
  sleep 0.5
  xdotool mousemove 1060 12 click 1
  sleep 0.3
  press "$DIALOG" alt+s
  # The page is black all over, so auto crop leaves it whole.
  for _ in $(seq 50); do
    sleep 0.2
    shot
    [ $(( $(count_black) - BLACK_BEFORE )) -ge 50000 ] && break
  done
  [ $(( $(count_black) - BLACK_BEFORE )) -ge 50000 ] || fail "no scanned picture on screen"
  press "$DIALOG" Escape
  gone '^Scan$' 10 || fail "the source's dialog stays after Esc"
  kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
  ;;
noscanner)
  wait_window '^Twain$' 10 || fail "no Twain box"
  press "$WID" Return
  gone '^Twain$' 10 || fail "the Twain box stays"
  gone '^Scan$' 1 || fail "a source dialog without a scanner"
  kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
  ;;
esac
echo "PASS: $CASE"
