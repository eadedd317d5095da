#!/usr/bin/env bash
# The real program in its own X server, driven by keys, checked by
# screenshots: the splash, the main window with its logo, Esc, the crash
# guard's warning shown once, the update check's question, the end by a
# signal and by a logout. Usage: shell_e2e.sh AMBREL CASE [SESSION_MANAGER_TOOL]
set -uo pipefail
AMBREL="$1"
CASE="$2"
SESSION_TOOL="${3:-}"
source "$(dirname "$0")/session.sh"
private_session
CONF="$XDG_CONFIG_HOME/Velvix/Ambrel.conf"
fail() { echo "FAIL: $*"; [ -s "$WORK/app.log" ] && sed 's/^/  app: /' "$WORK/app.log"; [ -f "$WORK/last.png" ] && cp "$WORK/last.png" "/tmp/ambrel-e2e-$CASE-failure.png"; exit 1; }

start_display 1280x900x24
[ -n "$XVFB_PID" ] || fail "no X server"

shot() { import -window root "$WORK/last.png" 2>/dev/null || fail "screenshot"; }
pixel() { convert "$WORK/last.png" -format "%[pixel:p{$1,$2}]" info:; }
# How many pixels of the last screenshot have this colour (within 4 %).
count_colour() {
  convert "$WORK/last.png" -alpha off -fuzz 4% -fill black +opaque "$1" -fill white -opaque "$1" \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}
start() { "$AMBREL" "$@" >"$WORK/app.log" 2>&1 & APP_PID=$!; }
wait_exit() {
  for _ in $(seq 100); do kill -0 "$APP_PID" 2>/dev/null || { wait "$APP_PID"; EXIT=$?; APP_PID=""; return 0; }; sleep 0.1; done
  return 1
}
press() { xdotool windowfocus --sync "$1" 2>/dev/null; sleep 0.2; xdotool key "$2"; }
# What lasts between runs was stored with this picture open: settings, recent files, window list.
expect_stored() {
  grep -q '^GeneralSettings=@ByteArray' "$CONF" || fail "settings not saved"
  grep -q "^File1=.*/$1" "$CONF" || fail "recent files not saved: $(grep File1 "$CONF")"
  grep -q "^OpenedWindows=.*CPixelFrame;X|.*/$1" "$CONF" || fail "window list not saved: $(grep Opened "$CONF")"
}

case "$CASE" in
startup)
  start
  sleep 1.2
  shot
  # The splash sits in the middle of the screen; its rounded corners are cut away.
  [ "$(count_colour '#4a2205')" -gt 300 ] || fail "no splash"
  [ "$(pixel 421 316)" = "srgb(0,0,0)" ] || fail "the splash's corner is not cut away: $(pixel 421 316)"
  [ "$(count_colour '#00ff00')" -eq 0 ] || fail "key colour on screen"
  wait_window '^Ambrel$' 10 || fail "no main window"
  sleep 0.8
  shot
  [ "$(count_colour '#4a2205')" -lt 20 ] || fail "the splash is still there"
  [ "$(count_colour '#ffb52e')" -gt 500 ] || fail "no logo in the empty window"
  [ "$(count_colour '#808080')" -gt 100000 ] || fail "no empty MDI area"
  # Caps Lock lights its indicator (right end of the status bar).
  xdotool windowfocus --sync "$WID" 2>/dev/null
  xdotool key Caps_Lock
  sleep 0.7
  shot
  DARK=$(convert "$WORK/last.png" -crop 140x24+860+698 +repage -alpha off -fuzz 10% -fill black +opaque black \
           -fill white -opaque black -format '%[fx:int(mean*w*h+0.5)]' info:)
  xdotool key Caps_Lock
  [ "$DARK" -gt 10 ] || fail "the CAP indicator did not light"
  press "$WID" Escape
  wait_exit || fail "Esc with no window did not end the program"
  [ "$EXIT" -eq 0 ] || fail "exit code $EXIT"
  grep -q '^GeneralSettings=@ByteArray' "$CONF" || fail "settings not saved at exit"
  ;;
crashguard)
  mkdir -p "$(dirname "$CONF")"
  printf '[Validation]\nLastImage=Filename: /photos/broken.jpg\\tIndex: 7\n' >"$CONF"
  start
  wait_window '^Corrupt Image File$' 12 || fail "no crash-guard warning"
  BOX=$WID
  sleep 0.5
  shot
  grep -q '^LastImage=$' "$CONF" || grep -q '^LastImage=""$' "$CONF" || fail "value not cleared before the warning"
  press "$BOX" Return
  wait_window '^Ambrel$' 5 || fail "no main window after the warning"
  sleep 0.5
  xdotool search --onlyvisible --name '^Corrupt Image File$' >/dev/null 2>&1 && fail "warning still open"
  press "$WID" Escape
  wait_exit || fail "did not end"
  # The next start shows no warning.
  start
  wait_window '^Ambrel$' 12 || fail "no main window on the second start"
  sleep 1
  xdotool search --onlyvisible --name '^Corrupt Image File$' >/dev/null 2>&1 && fail "warning shown twice"
  press "$WID" Escape
  wait_exit || fail "did not end the second time"
  ;;
placement)
  # The main window opens where it was closed.
  start
  wait_window '^Ambrel$' 12 || fail "no main window"
  xdotool windowmove --sync "$WID" 130 90 windowsize --sync "$WID" 800 560 2>/dev/null
  sleep 0.5
  press "$WID" Escape
  wait_exit || fail "did not end"
  grep -q '^Window%20Coordinates="1:90,130,650,930"$' "$CONF" || fail "placement not saved: $(grep Window "$CONF")"
  start
  wait_window '^Ambrel$' 12 || fail "no main window on the second start"
  sleep 0.5
  GEOMETRY=$(xdotool getwindowgeometry "$WID" | tr -d '\n')
  case "$GEOMETRY" in
    *"Position: 130,90"*"Geometry: 800x560"*) ;;
    *) fail "reopened at $GEOMETRY" ;;
  esac
  press "$WID" Escape
  wait_exit || fail "did not end the second time"
  ;;
update)
  # A version document on a web server of this run; the browser is a script
  # that notes the page it is handed.
  mkdir -p "$WORK/site"
  printf '<version>1.6</version>\n<url>https://example.net/get?from=1.51</url>\n<info>News</info>\n' \
    >"$WORK/site/index.html"
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$WORK/site" >"$WORK/server.log" 2>&1 &
  SERVER_PID=$!
  trap 'kill "$SERVER_PID" 2>/dev/null; end_session' EXIT
  PORT=""
  for _ in $(seq 100); do
    PORT=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$WORK/server.log" | head -1)
    [ -n "$PORT" ] && break
    sleep 0.1
  done
  [ -n "$PORT" ] || fail "no web server"
  printf '#!/bin/sh\necho "$1" >>"%s/opened"\n' "$WORK" >"$WORK/browser"
  chmod +x "$WORK/browser"
  export AMBREL_UPDATE_SERVER="http://127.0.0.1:$PORT/" BROWSER="$WORK/browser"
  start
  wait_window '^Automatic Update$' 20 || fail "no question"
  press "$WID" y
  for _ in $(seq 50); do [ -s "$WORK/opened" ] && break; sleep 0.1; done
  [ "$(cat "$WORK/opened" 2>/dev/null)" = "https://example.net/get?from=1.51" ] || fail "opened: $(cat "$WORK/opened" 2>/dev/null)"
  [ "$(grep -c '"GET / HTTP' "$WORK/server.log")" -eq 1 ] || fail "server saw: $(cat "$WORK/server.log")"
  wait_window '^Ambrel$' 5 || fail "no main window"
  press "$WID" Escape
  wait_exit || fail "did not end"
  [ "$EXIT" -eq 0 ] || fail "exit code $EXIT"
  ;;
signal)
  # Ended by SIGTERM right after a picture appeared: what lasts between runs
  # is stored, and the crash mark of that picture is not left behind.
  convert -size 40x30 xc:'#3060C0' "$WORK/term me.png" || fail "no picture"
  start "$WORK/term me.png"
  wait_window 'term me' 12 || fail "no image window"
  kill -TERM "$APP_PID"
  wait_exit || fail "SIGTERM did not end the program"
  [ "$EXIT" -eq 143 ] || fail "exit code $EXIT"
  expect_stored "term me.png"
  if grep -q '^LastImage=.\+' "$CONF" && ! grep -q '^LastImage=""$' "$CONF"; then
    fail "crash mark left: $(grep LastImage "$CONF")"
  fi
  ;;
sessionend)
  # A logout: the desktop's session manager asks the program to save, then
  # ends it with no signal it could catch. What lasts between runs is stored.
  coproc SM { "$SESSION_TOOL"; }
  HELPER_PID=$SM_PID
  read -r -t 10 MANAGER <&"${SM[0]}" || fail "no session manager"
  convert -size 40x30 xc:'#30C060' "$WORK/log out.png" || fail "no picture"
  SESSION_MANAGER="$MANAGER" start "$WORK/log out.png"
  read -r -t 15 ANSWER <&"${SM[0]}"
  [ "$ANSWER" = registered ] || fail "the program did not join the session: $ANSWER"
  wait_window 'log out' 12 || fail "no image window"
  echo save >&"${SM[1]}"
  read -r -t 15 ANSWER <&"${SM[0]}"
  [ "$ANSWER" = saved ] || fail "no save for the logout: $ANSWER"
  kill -KILL "$APP_PID"
  wait "$APP_PID" 2>/dev/null
  APP_PID=""
  expect_stored "log out.png"
  ;;
*)
  fail "unknown case $CASE"
  ;;
esac
echo "PASS: $CASE"
