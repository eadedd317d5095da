#!/usr/bin/env bash
# The seeded random user (ambrel_monkey) in its own Xvfb, on a folder of good,
# damaged and hostile-named pictures, a protected folder and, where it may
# mount one, a full file system. Runs as uid 65534 when started as root, so
# that protections hold.
# Usage: monkey_e2e.sh <ambrel_monkey> <test data folder> [seed...]
# Each seed replays alone: monkey_e2e.sh <ambrel_monkey> <data> 17
set -uo pipefail

MONKEY="$(realpath "$1")"
DATA="$2"
shift 2
SEEDS=("$@")
[ ${#SEEDS[@]} -gt 0 ] || SEEDS=(1 2 3 4)
STEPS="${MONKEY_STEPS:-120}"
source "$(dirname "$0")/session.sh"
private_session
FULL_MOUNT=""
cleanup() {
  [ -n "$FULL_MOUNT" ] && umount "$FULL_MOUNT" 2>/dev/null
  end_session
}
trap cleanup EXIT
trap 'exit 1' TERM INT

start_display 1280x900x24 || { echo "Xvfb did not start"; exit 1; }

PICS="$WORK/pictures"
# A large picture keeps effects running while the user goes on.
/usr/bin/convert -size 2400x1600 gradient:'#FF0000'-'#0000FF' "$WORK/big.png"
make_pictures() {
  rm -rf "$PICS"
  mkdir -p "$PICS/sub folder" "$PICS/protected/locked"
  cp "$DATA/png/pngsuite/basn2c08.png" "$PICS/photo[1].png"
  cp "$DATA/png/pngsuite/basi6a08.png" "$PICS/alpha 100% é.png"
  cp "$DATA/jpeg/jpegsuite/baseline/"*.jpg "$PICS/" 2>/dev/null
  cp "$DATA/bmp/bmpsuite-2.8/g/pal8.bmp" "$PICS/sub folder/*?.bmp"
  cp "$DATA/png/libpng-crashers/badcrc.png" "$PICS/badcrc %1 %2.png"
  cp "$DATA/jpeg/jpeg-decoder-crashtest/missing-sof.jpg" "$PICS/missing-sof.jpg"
  cp "$DATA/jpeg/jpeg-decoder-crashtest/invalid-dimensions.jpg" "$PICS/sub folder/字 dims.jpg"
  cp "$(ls "$DATA"/gif/imagetestsuite/*.gif | head -1)" "$PICS/broken.gif"
  head -c 300 "$DATA/png/pngsuite/basn2c08.png" > "$PICS/truncated.png"
  echo "not a picture" > "$PICS/text.jpg"
  cp "$WORK/big.png" "$PICS/sub folder/big gradient.png"
  chmod -R u+w "$PICS"
  cp "$DATA/png/pngsuite/basn0g08.png" "$PICS/protected/readonly.png"
  cp "$DATA/png/pngsuite/basn3p08.png" "$PICS/protected/locked/inside.png"
  chmod 0444 "$PICS/protected/readonly.png"
  chmod 0555 "$PICS/protected/locked"
  mkdir -p "$PICS/full"
  if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=64k tmpfs "$PICS/full" 2>/dev/null; then
    FULL_MOUNT="$PICS/full"
    cp "$DATA/png/pngsuite/basn2c08.png" "$PICS/full/onfull.png"
    head -c 1M /dev/zero > "$PICS/full/filler" 2>/dev/null
  fi
  [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$WORK"
}

run_as_user() {
  if [ "$(id -u)" = 0 ]; then
    setpriv --reuid 65534 --regid 65534 --clear-groups env HOME="$HOME" "$@"
  else
    "$@"
  fi
}

FAILED=0
for seed in "${SEEDS[@]}"; do
  make_pictures
  echo "=== seed $seed ($STEPS steps)"
  # The current folder is the pictures' own: "Current Folder" commands stay in the sandbox.
  first="$PICS/photo[1].png"
  ((seed % 2)) && first="$PICS/sub folder/big gradient.png"
  (cd "$PICS" && run_as_user timeout -s KILL 240 "$MONKEY" "$seed" "$STEPS" "$PICS" "$first") \
    >"$WORK/run.log" 2>&1
  status=$?
  grep -E "FAULT|CLEAN" "$WORK/run.log"
  [ -n "${MONKEY_KEEP:-}" ] && cp "$WORK/run.log" "/tmp/ambrel-monkey-seed-$seed.log"
  if [ "$status" != 0 ]; then
    echo "seed $seed: exit status $status; the last steps:"
    grep -E '^[0-9]+:' "$WORK/run.log" | tail -15
    sed -n '/^Thread 1 /,/^$/p' "$WORK/run.log" | head -60
    cp "$WORK/run.log" "/tmp/ambrel-monkey-seed-$seed.log"
    FAILED=1
  fi
  [ -n "$FULL_MOUNT" ] && umount "$FULL_MOUNT" && FULL_MOUNT=""
done
exit $FAILED
