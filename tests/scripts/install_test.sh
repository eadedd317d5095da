#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the installed programs from
# there, with the build folder out of their reach.
# Usage: install_test.sh BUILD_DIR SAMPLE_PICTURE
set -uo pipefail
BUILD="$1"
SAMPLE="$2"
PREFIX="$(mktemp -d /tmp/ambrel-install-XXXXXX)"
APP=""
trap '[ -n "$APP" ] && kill -KILL "$APP" 2>/dev/null; rm -rf "$PREFIX"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$BUILD" --prefix "$PREFIX" >"$PREFIX/install.log" 2>&1 || { cat "$PREFIX/install.log"; fail "install"; }
LIB="$(realpath "$(ls -d "$PREFIX"/lib*/ | head -1)")"
[ -f "$LIB/libvelvix_twain_dsm.so" ] || fail "no scanner source manager beside the library"
for program in ambrel ambrel-cli; do
  [ -x "$PREFIX/bin/$program" ] || fail "no $program"
  libraries="$(ldd "$PREFIX/bin/$program")"
  grep -q "not found" <<<"$libraries" && fail "$program misses a library: $libraries"
  grep -q "$(realpath "$BUILD")" <<<"$libraries" && fail "$program loads from the build folder: $libraries"
done
velvix="$(ldd "$PREFIX/bin/ambrel" | awk '$1 == "libVelvix.so.1" { print $3 }')"
[ "$(dirname "$(realpath "$velvix")")" = "$LIB" ] || fail "ambrel loads the library from '$velvix', not from $LIB"

"$PREFIX/bin/ambrel-cli" convert "$SAMPLE" "$PREFIX/out.png" || fail "the installed ambrel-cli does not convert"
[ -s "$PREFIX/out.png" ] || fail "no output"

# The installed program starts and keeps running until it is stopped.
export HOME="$PREFIX/home" XDG_CONFIG_HOME="$PREFIX/home/.config" XDG_DATA_HOME="$PREFIX/home/.local/share"
export XDG_CACHE_HOME="$PREFIX/home/.cache" XDG_RUNTIME_DIR="$PREFIX/run" QT_QPA_PLATFORM=offscreen
export AMBREL_UPDATE_SERVER=http://127.0.0.1:9/
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$PREFIX/bin/ambrel" >"$PREFIX/app.log" 2>&1 &
APP=$!
sleep 3
kill -0 "$APP" 2>/dev/null || { cat "$PREFIX/app.log"; fail "the installed program did not keep running"; }
kill -TERM "$APP"
for _ in $(seq 100); do kill -0 "$APP" 2>/dev/null || break; sleep 0.1; done
kill -0 "$APP" 2>/dev/null && fail "the installed program did not end on SIGTERM"
APP=""
echo "installed, ran and converted from $PREFIX"
