#!/usr/bin/env bash
# Sorting a folder of photos from the image viewer, as a person would: the real
# program in its own Xvfb display, keys from xdotool, checked by the window's
# title, the status bar's texts and the files on the disk.
# Usage: file_ops_e2e.sh <path of the ambrel program>
set -uo pipefail

AMBREL="$1"
CONVERT=/usr/bin/convert
source "$(dirname "$0")/session.sh"
private_session

start_display 1280x900x24 || { echo "Xvfb did not start"; exit 1; }

# A folder of three photos (names a shell and a glob would trip on) and a
# destination set whose slot 3 is the "sorted" folder.
PICS="$WORK/my pictures [2024]"
SORTED="$WORK/sorted 100%"
mkdir -p "$PICS" "$SORTED"
$CONVERT -size 320x240 xc:'#FF0000' "$PICS/a photo.png"
$CONVERT -size 320x240 xc:'#00C800' "$PICS/b [x].png"
$CONVERT -size 320x240 xc:'#0000FF' "$PICS/c.png"
DATA="$XDG_DATA_HOME/Velvix/Ambrel"
mkdir -p "$DATA"
python3 - "$DATA/folsdata.dat" "$SORTED" <<'PY'
import sys
record = bytearray(3424)
record[0:7] = b"Sorting"
folder = sys.argv[2].encode()
record[31 + 261 * 3:31 + 261 * 3 + len(folder)] = folder
open(sys.argv[1], "wb").write(record)
PY

export AMBREL_STATUS_LOG="$WORK/status.log"
: > "$AMBREL_STATUS_LOG"
main_window() { xdotool search --onlyvisible --name '^Ambrel - ' 2>/dev/null | head -1; }
title() { local w; w="$(main_window)"; [ -n "$w" ] && xdotool getwindowname "$w"; }
focus_main() { local w; w="$(main_window)"; [ -n "$w" ] && xdotool windowfocus --sync "$w" 2>/dev/null; }
key() { focus_main; xdotool key "$@"; }
answer() {  # answer <dialog title> <keys...>
    local d title="$1"
    wait_for "[ -n \"\$(dialog '$title')\" ]" 10 || return 1
    d="$(dialog "$title")"
    xdotool windowfocus --sync "$d" 2>/dev/null
    shift
    xdotool key "$@"
    wait_for "[ -z \"\$(dialog '$title')\" ]" 10
}
showing() {  # showing <file name> <position text>
    wait_for "[ \"\$(title)\" = 'Ambrel - [$1]' ] && [ \"\$(pane 0)\" = '$2' ]" 10
}

start_app "$WORK" "$PICS/a photo.png"
if ! showing "a photo.png" "1/3 [All]"; then
    echo "FAILED: the program did not show its first picture"
    cat "$WORK/ambrel.log"
    exit 1
fi

# --- F7, then the slot key -----------------------------------------------------------
key F7
check "F7 opens the destination dialog; the key 3 picks slot 3" answer "Move a photo to" 3
check "the next photo is shown" showing "b [x].png" "1/2 [All]"
check "the photo is in the slot's folder" [ -f "$SORTED/a photo.png" ]
check "and no longer in its own" [ ! -e "$PICS/a photo.png" ]

# --- undo --------------------------------------------------------------------------------
key ctrl+alt+z
check "undo brings the photo back" wait_for "[ -f '$PICS/a photo.png' ] && [ ! -e '$SORTED/a photo.png' ]" 10
check "the folder watch lists it again" wait_for "[ \"\$(pane 0)\" = '2/3 [All]' ]" 10

# --- delete into the trash, then undo ------------------------------------------------------
key Delete
check "Delete asks, Yes deletes" answer "Confirm Delete" y
check "the next photo is shown" showing "c.png" "2/2 [All]"
check "the photo is in the trash" wait_for "[ -f '$XDG_DATA_HOME/Trash/files/b [x].png' ]" 5
key ctrl+alt+z
check "undo restores it from the trash" wait_for "[ -f '$PICS/b [x].png' ] && [ ! -e '$XDG_DATA_HOME/Trash/files/b [x].png' ]" 10

# --- rename ----------------------------------------------------------------------------------
key F6
check "F6 opens the rename dialog" wait_for "[ -n \"\$(dialog 'Rename File')\" ]" 10
xdotool type --delay 20 "renamed"
check "OK renames" answer "Rename File" Return
check "the window shows the new name" wait_for "[ \"\$(title)\" = 'Ambrel - [renamed.png]' ]" 10
check "the file has it" [ -f "$PICS/renamed.png" ] && [ ! -e "$PICS/c.png" ]

echo "$PASSES passed, $FAILURES failed"
[ "$FAILURES" -eq 0 ]
