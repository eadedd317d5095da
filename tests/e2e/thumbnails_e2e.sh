#!/usr/bin/env bash
# The thumbnail window driven as a person would: the real program in its own
# Xvfb display, keys from xdotool, checked by screenshots, by the window
# titles and by the texts the viewer's status bar showed.
# Usage: thumbnails_e2e.sh <path of the ambrel program>
set -uo pipefail

AMBREL="$1"
CONVERT=/usr/bin/convert
IMPORT=/usr/bin/import
source "$(dirname "$0")/session.sh"
private_session

start_display 1280x900x24 || { echo "Xvfb did not start"; exit 1; }

# Two groups: [Other] (2004, dog) and cat (cat01, cat02, Cat-3), each picture
# 120 x 80 in its own colour (116 x 77 in a cell of 128).
PICS="$WORK/my pictures [1]"
mkdir -p "$PICS"
$CONVERT -size 120x80 xc:'#FF0000' -quality 95 "$PICS/cat01.jpg"
$CONVERT -size 120x80 xc:'#00C800' -quality 95 "$PICS/cat02.jpg"
$CONVERT -size 120x80 xc:'#0000FF' "$PICS/Cat-3.png"
$CONVERT -size 120x80 xc:'#FF00FF' "BMP3:$PICS/dog.bmp"
$CONVERT -size 120x80 xc:'#FFFF00' -quality 95 "$PICS/2004.jpg"

export AMBREL_STATUS_LOG="$WORK/status.log"
: > "$AMBREL_STATUS_LOG"
main_window() { xdotool search --onlyvisible --name '^Ambrel' 2>/dev/null | head -1; }
title() { local w; w="$(main_window)"; [ -n "$w" ] && xdotool getwindowname "$w"; }
focus_main() { local w; w="$(main_window)"; [ -n "$w" ] && xdotool windowfocus --sync "$w" 2>/dev/null; }
key() { focus_main; xdotool key "$@"; }
answer() {
    local d
    wait_for "[ -n \"\$(dialog '$1')\" ]" 10 || return 1
    d="$(dialog "$1")"
    xdotool windowfocus --sync "$d" 2>/dev/null
    shift
    xdotool key "$@"
    wait_for "[ -z \"\$(dialog '$(printf %s "$1")')\" ]" 10
}
shot() {
    local i
    for i in 1 2 3 4 5; do
        $IMPORT -window root "$WORK/shot.png" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
box() {  # "W H" of the pixels near a colour in a new screenshot
    shot
    $CONVERT "$WORK/shot.png" -fuzz 10% -fill black +opaque "#$1" -trim -format '%w %h' info: 2>/dev/null
}
shows() { wait_for "[ \"\$(box $1)\" = '116 77' ]" 10; }
hidden() { wait_for "[ \"\$(box $1)\" != '116 77' ]" 10; }

# --- open the folder the program was started in ----------------------------------------
start_app "$PICS"
if ! wait_for '[ -n "$(main_window)" ]' 20; then
    echo "FAILED: the program did not start"
    cat "$WORK/ambrel.log"
    exit 1
fi
# The main window takes keys once the splash has gone: ask until it does.
asked() {
    local i
    for i in 1 2 3 4 5 6; do
        key ctrl+t
        wait_for '[ -n "$(dialog "Choose Folder")" ]' 5 && return 0
    done
    return 1
}
check "Ctrl+T asks for the folder" asked
check "which opens the current one" answer "Choose Folder" Return
check "the first group shows after its delay: 2004 and dog" eval 'shows FFFF00 && shows FF00FF'
check "the other group is not shown" hidden FF0000

# --- pick the group cat -------------------------------------------------------------------
key Down
check "the group cat shows its three pictures" eval 'shows FF0000 && shows 00C800 && shows 0000FF'
check "the first group is gone from the view" hidden FFFF00

# --- open a cell in the viewer: it browses only the group --------------------------------
key Right Down Return
check "the viewer opens the file of the cell" wait_for "[[ \"\$(title)\" == *'[cat01.jpg]'* ]]" 10
check "and browses only its group" wait_for "[ \"\$(pane 0)\" = '1/3 [cat]' ]" 10
key space
check "Space steps within the group" wait_for "[ \"\$(pane 0)\" = '2/3 [cat]' ]" 10

# --- back in the thumbnail window: convert the group cat into a folder ------------------
moved() {
    local f
    for f in cat01.jpg cat02.jpg Cat-3.png; do
        [ -f "$PICS/cat (3)/$f" ] && [ ! -e "$PICS/$f" ] || return 1
    done
}
key ctrl+Tab
check "Ctrl+Tab goes back to the thumbnail window" wait_for "[[ \"\$(title)\" != *'[cat01.jpg]'* && \"\$(title)\" != *'[cat02.jpg]'* ]]" 10
key Left Menu 1
check "the tree's menu asks before converting the group" answer "Convert Group" Return
check "the files of the group moved into the folder 'cat (3)'" wait_for moved 10
check "the others stayed" eval '[ -f "$PICS/dog.bmp" ] && [ -f "$PICS/2004.jpg" ]'

echo "$PASSES passed, $FAILURES failed"
[ "$FAILURES" -eq 0 ]
