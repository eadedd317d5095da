# Sourced by the end-to-end scripts: starts an X server of our own and sets
# DISPLAY. Xvfb picks a free display number itself and writes it to a pipe
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
