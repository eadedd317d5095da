#!/usr/bin/env bash
# Effects in the real program, in its own X server: one from the menus by
# their mnemonics, one by its key, the repetition with ~, and undo, each
# checked on a screenshot by where the picture's two colours are.
# Usage: effects_e2e.sh AMBREL
set -uo pipefail
AMBREL="$1"
source "$(dirname "$0")/session.sh"
private_session
fail() {
  echo "FAIL: $*"
  [ -s "$WORK/app.log" ] && sed 's/^/  app: /' "$WORK/app.log"
  [ -f "$WORK/shot.png" ] && cp "$WORK/shot.png" /tmp/ambrel-e2e-effects-failure.png
  exit 1
}

start_display 1280x900x24 || fail "no X server"

# Left half red, right half blue; their negatives are cyan and yellow.
RED=C83232 BLUE=3232C8 CYAN=37CDCD YELLOW=CDCD37
convert -size 80x120 "xc:#$RED" -size 80x120 "xc:#$BLUE" +append "$WORK/halves.png" || fail "no picture"

shot() { import -window root "$WORK/shot.png" 2>/dev/null || fail "screenshot"; }
# "W H X Y" of the screenshot's pixels of one colour (within 6 %).
box() { convert "$WORK/shot.png" -fuzz 6% -fill black +opaque "#$1" -trim -format '%w %h %X %Y' info: 2>/dev/null | tr -d '+'; }
main_window() { xdotool search --onlyvisible --name '^Ambrel - ' 2>/dev/null | head -1; }
keys() { xdotool windowfocus --sync "$(main_window)" 2>/dev/null; sleep 0.2; xdotool key --delay 120 "$@"; }
# Waits until the colour's box has this width and height; its corner goes to X, Y.
expect_box() { # colour width height what
  local b
  for _ in $(seq 50); do
    sleep 0.1
    shot
    b="$(box "$1")"
    set -- "$1" "$2" "$3" "$4" $b
    if [ "${5:-0}" = "$2" ] && [ "${6:-0}" = "$3" ]; then X=$7 Y=$8; return 0; fi
  done
  fail "$4: the #$1 part is '${b:-missing}', not $2 x $3"
}

"$AMBREL" "$WORK/halves.png" >"$WORK/app.log" 2>&1 &
APP_PID=$!
for _ in $(seq 150); do [ -n "$(main_window)" ] && break; sleep 0.1; done
[ -n "$(main_window)" ] || fail "no main window"

expect_box "$RED" 80 120 "the picture"
RX=$X RY=$Y

# Tools > Color > Negative, by the menus' mnemonics.
keys alt+t c n
expect_box "$CYAN" 80 120 "negative from the menu"
[ "$X" = "$RX" ] && [ "$Y" = "$RY" ] || fail "the negative moved: $X,$Y instead of $RX,$RY"
expect_box "$YELLOW" 80 120 "negative of the right half"

# R turns the picture right: the left half goes to the top.
keys r
expect_box "$CYAN" 120 80 "rotate right by its key"
TOPY=$Y
expect_box "$YELLOW" 120 80 "rotate right by its key (lower half)"
[ "$Y" -gt "$TOPY" ] || fail "after turning right the former left half is not on top"

# ~ repeats the last effect: turned right again, cyan is now on the right.
keys asciitilde
expect_box "$CYAN" 80 120 "repeat with ~"
CX=$X
expect_box "$YELLOW" 80 120 "repeat with ~ (other half)"
[ "$CX" -gt "$X" ] || fail "repeating did not turn the picture right again"

# Undo takes back only the repetition.
keys ctrl+z
expect_box "$CYAN" 120 80 "undo"
keys ctrl+z ctrl+z
expect_box "$RED" 80 120 "undo to the start"
echo "PASS: effects"
