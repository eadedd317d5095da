# Sourced by the end-to-end scripts: a private home for one run, and an X
# server of its own.

# Makes WORK, points HOME and the XDG folders into it, and removes it at the
# end together with the program (APP_PID), a helper (HELPER_PID) and the X
# server (XVFB_PID).
private_session() {
  WORK="$(mktemp -d /tmp/ambrel-e2e-XXXXXX)"
  export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
  export XDG_CACHE_HOME="$WORK/home/.cache" XDG_RUNTIME_DIR="$WORK/run"
  # The update check knocks at a closed local port, never outside.
  export AMBREL_UPDATE_SERVER="${AMBREL_UPDATE_SERVER:-http://127.0.0.1:9/}"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset QT_QPA_PLATFORM
  XVFB_PID="" APP_PID=""
  trap end_session EXIT
}

end_session() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
  [ -n "${HELPER_PID:-}" ] && kill "$HELPER_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}

# Starts the X server and sets DISPLAY. Xvfb picks a free display number itself and writes it to a pipe
# once it accepts connections, so scripts running side by side never share
# or steal a server. Without -noreset the server resets when its last client
# leaves, and a program started at that moment cannot connect.
# Sets XVFB_PID; returns 1 if no server started.
start_display() { # width x height x depth, e.g. 1280x900x24
  local fifo number
  fifo="$(mktemp -u /tmp/ambrel-xvfb-XXXXXX)"
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  number=""
  read -r -t 30 number <"$fifo"
  rm -f "$fifo"
  if [ -z "$number" ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
    kill "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
    return 1
  fi
  export DISPLAY=":$number"
}

# A connection to the X server now and then fails at once on a busy machine:
# every X client call is tried again before it counts as an answer.
xdotool() {
  local i
  for i in 1 2 3 4 5; do
    command xdotool "$@" 2>"$WORK/xdotool.err" && return 0
    grep -q "Can't open display" "$WORK/xdotool.err" || return 1
    sleep 0.1
  done
  return 1
}
xwininfo() {
  local i
  for i in 1 2 3 4 5; do
    command xwininfo "$@" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# wait_for <condition> [seconds (10)]: true once the condition holds, by the
# clock however slow each try is.
wait_for() {
  local end=$((SECONDS + ${2:-10}))
  while ((SECONDS <= end)); do
    eval "$1" && return 0
    sleep 0.05
  done
  return 1
}

# wait_window <title pattern> [seconds (10)]: sets WID to a shown window.
wait_window() {
  wait_for "WID=\$(xdotool search --onlyvisible --name '$1' 2>/dev/null | head -1); [ -n \"\$WID\" ]" "${2:-10}"
}

# gone <title pattern> [seconds (10)]: true once no such window is shown.
gone() {
  wait_for "[ -z \"\$(xdotool search --onlyvisible --name '$1' 2>/dev/null)\" ]" "${2:-10}"
}

# The window titled exactly $1.
dialog() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }

# The last text shown in a status pane (from AMBREL_STATUS_LOG).
pane() { awk -F'\t' -v p="$1" '$1 == p { t = $2 } END { print t }' "$AMBREL_STATUS_LOG"; }

# check <description> <command...>: counts one check in PASSES or FAILURES; a
# failure keeps the last screenshot ($WORK/shot.png) in /tmp.
PASSES=0
FAILURES=0
check() {
  local what="$1"
  shift
  if "$@"; then
    PASSES=$((PASSES + 1))
    echo "ok: $what"
  else
    FAILURES=$((FAILURES + 1))
    echo "FAILED: $what"
    cp "$WORK/shot.png" "/tmp/ambrel-$(basename "$0" .sh)-failure-$FAILURES.png" 2>/dev/null
  fi
}

# start_app <folder> [argument...]: starts the program in <folder> with its
# output in $WORK/ambrel.log and sets APP_PID; a start that lost the race for
# the new X server ("could not connect to display") is tried again.
start_app() {
  local folder="$1" attempt
  shift
  for attempt in 1 2 3; do
    (cd "$folder" && exec "$AMBREL" "$@") >"$WORK/ambrel.log" 2>&1 &
    APP_PID=$!
    sleep 1
    kill -0 "$APP_PID" 2>/dev/null && return 0
    grep -q "could not connect to display" "$WORK/ambrel.log" || return 0
  done
}
