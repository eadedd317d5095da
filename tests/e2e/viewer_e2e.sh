#!/usr/bin/env bash
# The image viewer driven as a person would: the real program in its own Xvfb
# display, keys and clicks from xdotool, checked by screenshots and by the
# texts the status bar showed (AMBREL_STATUS_LOG).
# Usage: viewer_e2e.sh <path of the ambrel program>
set -uo pipefail

AMBREL="$1"
CONVERT=/usr/bin/convert   # the real ImageMagick, whatever else is on PATH
IMPORT=/usr/bin/import
source "$(dirname "$0")/session.sh"
private_session

# --- a private X server on a free display --------------------------------------
start_display 1280x900x24 || { echo "Xvfb did not start"; exit 1; }

# --- the pictures -----------------------------------------------------------------
PICS="$WORK/pictures"
mkdir -p "$PICS"
$CONVERT -size 320x240 xc:'#FF0000' "$PICS/img1.png"
$CONVERT -size 300x200 xc:'#00C800' "BMP3:$PICS/img2.bmp"
$CONVERT -size 400x300 xc:'#0000FF' -quality 95 "$PICS/img3.jpg"
echo "this is not a picture" > "$PICS/img4.jpg"
$CONVERT -size 260x180 xc:'#00FFFF' "$PICS/img5.PNG"
$CONVERT -size 100x150 xc:'#FFFF00' -size 100x150 xc:'#FF00FF' +append "$PICS/img10.png"
echo "not listed" > "$PICS/notes.txt"

export AMBREL_STATUS_LOG="$WORK/status.log"
: > "$AMBREL_STATUS_LOG"
# The moments the benchmark reads: paints of new pictures, prefetches.
export AMBREL_TRACE_LOG="$WORK/trace.log"

# --- helpers reading what the program shows ------------------------------------------
main_window() { xdotool search --onlyvisible --name '^Ambrel - ' 2>/dev/null | head -1; }
title() { local w; w="$(main_window)"; [ -n "$w" ] && xdotool getwindowname "$w"; }
shot() {
    local i
    for i in 1 2 3 4 5; do
        $IMPORT -window root "$WORK/shot.png" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
pixel() {  # pixel x y -> RRGGBB of the last screenshot
    $CONVERT "$WORK/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1 | tr -d '#'
}
# The bounding box "W H X Y" of the pixels near a colour in the last screenshot.
box() {
    $CONVERT "$WORK/shot.png" -fuzz 8% -fill black +opaque "#$1" -trim -format '%w %h %X %Y' info: 2>/dev/null |
        tr -d '+'
}
near() {  # near RRGGBB RRGGBB: each channel within 24
    local a="$1" b="$2" i
    for i in 0 2 4; do
        local x=$((16#${a:$i:2})) y=$((16#${b:$i:2}))
        [ $((x > y ? x - y : y - x)) -le 24 ] || return 1
    done
}
menu() {  # menu <position> <keys...>: open the menu bar's popup by position, then keys
    local position="$1" i
    shift
    focus_main
    xdotool key alt
    sleep 0.2
    for ((i = 0; i < position; i++)); do xdotool key Right; done
    xdotool key Down
    sleep 0.2
    xdotool key "$@"
}
focus_main() { local w; w="$(main_window)"; [ -n "$w" ] && xdotool windowfocus --sync "$w" 2>/dev/null; }
key() { focus_main; xdotool key "$@"; }
answer() {  # answer <dialog title> <keys...>: focus the dialog, press keys
    local d
    wait_for "[ -n \"\$(dialog '$1')\" ]" 10 || return 1
    d="$(dialog "$1")"
    xdotool windowfocus --sync "$d" 2>/dev/null
    shift
    xdotool key "$@"
    wait_for "[ -z \"\$(dialog '$(printf %s "$1")')\" ]" 10
}
showing() {  # showing <file name> <position text>
    wait_for "[ \"\$(title)\" = 'Ambrel - [$1]' ] && [ \"\$(pane 0)\" = '$2' ]" 10
}
colour_at_origin() {  # the colour at a point inside every picture
    shot
    near "$(pixel $((OX + 40)) $((OY + 40)))" "$1"
}

# --- start with a file --------------------------------------------------------------
start_app "$WORK" "$PICS/img1.png"
if ! showing img1.png "1/6 [All]"; then
    echo "FAILED: the program did not show its first picture"
    cat "$WORK/ambrel.log"
    exit 1
fi
check "opens the file named on the command line" true
sleep 0.3
shot
read -r W H OX OY <<<"$(box FF0000)"
check "the picture is drawn at 100 % (320 x 240)" [ "$W $H" = "320 240" ]
check "the zoom pane shows 100%" [ "$(pane 1)" = "100%" ]
check "the timing pane has its format" eval '[[ "$(pane 3)" =~ ^[0-9]{2}:[0-9]+\ ms$ ]]'
HATCH="$(pixel $((OX + 600)) $((OY + 300)))$(pixel $((OX + 601)) $((OY + 300)))$(pixel $((OX + 602)) $((OY + 300)))$(pixel $((OX + 603)) $((OY + 300)))"
check "outside the picture: the light grey hatch" eval '[[ "$HATCH" =~ ^(FFFFFF|C0C0C0)+$ ]] && [[ "$HATCH" == *C0C0C0* ]]'

# --- stepping --------------------------------------------------------------------------
key space
check "Space shows the next file (numeric order, BMP)" showing img2.bmp "2/6 [All]"
check "and draws it" colour_at_origin 00C800
key BackSpace
check "Backspace goes back" showing img1.png "1/6 [All]"
check "and draws it" colour_at_origin FF0000
key l
check "L shows the last file (img10 after img5)" showing img10.png "6/6 [All]"
key space
check "at the end Space asks to loop; No stays" answer "Loop files" Escape
check "still the last file" showing img10.png "6/6 [All]"
key space
check "Yes loops to the first file" answer "Loop files" Return
check "the first file after looping" showing img1.png "1/6 [All]"
key space space
check "two steps with prefetched neighbours" showing img3.jpg "3/6 [All]"
check "a JPEG is drawn" colour_at_origin 0000FF
key space
check "a file that cannot be decoded is still stepped to" showing img4.jpg "4/6 [All]"
shot
check "it is reported in the window, not shown as the previous picture" eval '! near "$(pixel $((OX + 40)) $((OY + 40)))" 0000FF'
key space
check "stepping goes on; an upper-case name opens" showing img5.PNG "5/6 [All]"
check "and is drawn" colour_at_origin 00FFFF
key f
check "F shows the first file" showing img1.png "1/6 [All]"

# --- selection, crop, undo, redo -------------------------------------------------------
key l
showing img10.png "6/6 [All]"
xdotool mousemove $((OX + 10)) $((OY + 10)) mousedown 1 mousemove $((OX + 60)) $((OY + 40)) \
    mousemove $((OX + 140)) $((OY + 70)) sleep 0.2
check "the selection pane shows left.top | width.height while dragging" \
    wait_for "[ \"\$(pane 4)\" = '10.10 | 130.60' ]" 5
xdotool mouseup 1
check "the selection pane is cleared on release" wait_for "[ -z \"\$(pane 4)\" ]" 5
menu 3 o
shot
check "crop keeps the selected 130 x 60" wait_for "shot; [ \"\$(box FF00FF | cut -d' ' -f2)\" = 60 ] && [ \"\$(box FFFF00 | cut -d' ' -f1)\" = 90 ]" 5
key ctrl+z
check "undo brings back the whole picture" wait_for "shot; [ \"\$(box FF00FF)\" = '100 150 $((OX + 100)) $OY' ]" 5
key ctrl+y
check "redo crops again" wait_for "shot; [ \"\$(box FF00FF | cut -d' ' -f1,2)\" = '40 60' ]" 5
key ctrl+z

# --- copy and paste into a selection ----------------------------------------------------
xdotool mousemove $((OX + 10)) $((OY + 10)) mousedown 1 mousemove $((OX + 50)) $((OY + 50)) sleep 0.1 mouseup 1
sleep 0.3
key ctrl+c
xdotool mousemove $((OX + 120)) $((OY + 60)) mousedown 1 mousemove $((OX + 170)) $((OY + 120)) sleep 0.1 mouseup 1
sleep 0.3
key ctrl+v
check "paste fills the selection's top-left with the copied part" \
    wait_for "shot; near \"\$(pixel $((OX + 140)) $((OY + 80)))\" FFFF00 && near \"\$(pixel $((OX + 165)) $((OY + 115)))\" FF00FF" 5

# --- zoom ---------------------------------------------------------------------------------
xdotool mousemove $((OX + 20)) $((OY + 20)) mousedown 1 mousemove $((OX + 60)) $((OY + 40)) sleep 0.1 mouseup 1
sleep 0.3
menu 4 i Return
check "Zoom In zooms to the selection" wait_for "[ \"\$(pane 1)\" != '100%' ] && [ -n \"\$(pane 1)\" ]" 5
ZOOMED="$(pane 1)"
check "the zoom factor is the client width over the selection width" eval 'z=${ZOOMED%\%}; [ "$z" -gt 1000 ] && [ "$z" -le 3500 ]'

# --- slideshow ---------------------------------------------------------------------------
key s
check "leaving the edited picture asks to save it; No" answer "Ambrel" alt+n
slideshow() {  # the program's borderless window that covers the whole screen
    local w
    for w in $(xdotool search --onlyvisible --class ambrel 2>/dev/null); do
        xwininfo -id "$w" | grep -q 'geometry 1280x900+0+0' && ! xdotool getwindowname "$w" | grep -q '^Ambrel - ' &&
            { echo "$w"; return; }
    done
}
check "a borderless window covering the screen opens" wait_for '[ -n "$(slideshow)" ]' 10
sleep 0.5
shot
read -r SW SH SX SY <<<"$(box FFFF00)"
check "the picture is centred at 100 %" [ "$SW $SH $SX $SY" = "100 150 540 375" ]
check "black around it" [ "$(pixel 10 10)" = "000000" ]
xdotool windowfocus --sync "$(slideshow)" 2>/dev/null
xdotool key space
check "Space in the slideshow wraps to the first file without asking" \
    wait_for "[ \"\$(pane 0)\" = '1/6 [All]' ] && [ -z \"\$(dialog 'Loop files')\" ]" 10
check "the first picture is centred" wait_for "shot; [ \"\$(box FF0000)\" = '320 240 480 330' ]" 5
xdotool key l
check "L in the slideshow" wait_for "[ \"\$(pane 0)\" = '6/6 [All]' ]" 10
xdotool key BackSpace
check "Backspace in the slideshow" wait_for "[ \"\$(pane 0)\" = '5/6 [All]' ]" 10
xdotool key Escape
check "any other key closes the slideshow" wait_for '[ -z "$(slideshow)" ]' 10
check "the window shows the picture again" showing img5.PNG "5/6 [All]"

# --- the folder changes while the window is open ---------------------------------------------
$CONVERT -size 50x50 xc:'#808080' "$PICS/img7.png"
check "a new file in the folder is listed" wait_for "[ \"\$(pane 0)\" = '5/7 [All]' ]" 10

# --- the trace the benchmark relies on ------------------------------------------------------
traced() { awk -v e="$1" '$2 == e { sub(/^[0-9]+ [^ ]+ ?/, ""); print }' "$AMBREL_TRACE_LOG"; }
check "the main window's first paint is traced once" [ "$(traced frame-painted | wc -l)" = 1 ]
check "each loaded picture is traced once when first painted, in the order shown" \
    [ "$(traced image-painted | head -4 | xargs -n1 basename | tr '\n' ' ')" = "img1.png img2.bmp img1.png img10.png " ]
check "prefetched neighbours are traced" eval 'traced prefetched | grep -q "/img2.bmp$"'

echo "$PASSES passed, $FAILURES failed"
[ "$FAILURES" -eq 0 ]
