#!/usr/bin/env bash
# Every program that the build, the tests, the fuzzers and the benchmarks run
# must come from a package that scripts/setup installs (directly or as a
# dependency): a fresh machine has nothing else. Usage: setup_packages_test.sh ROOT
set -uo pipefail
ROOT="$1"

# The programs the scripts call by name (tests/e2e, scripts/, bench/, fuzz).
TOOLS=(
  cmake ninja ccache pkg-config c++ clang clang++
  Xvfb xauth xdotool xwininfo import convert
  python3
)

mapfile -t LISTED < <(sed -n '/^PACKAGES=(/,/^)/p' "$ROOT/scripts/setup" | sed '1d;$d' | tr -s ' \t' '\n' | sed '/^$/d')
[ "${#LISTED[@]}" -gt 10 ] || { echo "FAIL: no package list found in scripts/setup"; exit 1; }

# The listed packages with everything they depend on.
CLOSURE="$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
             --no-replaces --no-enhances "${LISTED[@]}" 2>/dev/null | grep -v '^ ' | sed 's/:.*//' | sort -u)"

failed=0
for tool in "${TOOLS[@]}"; do
  # Where packages put programs; what a user or another tool added to the
  # PATH elsewhere does not count.
  path=""
  for folder in /usr/bin /bin /usr/sbin /sbin; do
    [ -x "$folder/$tool" ] && { path="$folder/$tool"; break; }
  done
  if [ -z "$path" ]; then
    echo "FAIL: $tool is not installed by any package"
    failed=1
    continue
  fi
  real="$(readlink -f "$path")"
  owners="$(dpkg -S "$real" 2>/dev/null | head -1 | sed 's/: .*//' | tr -d ' ' | tr ',' '\n' | sed 's/:.*//')"
  if [ -z "$owners" ]; then
    echo "FAIL: $tool ($real) belongs to no package"
    failed=1
    continue
  fi
  ok=0
  for owner in $owners; do
    grep -qx "$owner" <<<"$CLOSURE" && ok=1
  done
  if [ "$ok" -eq 0 ]; then
    echo "FAIL: $tool comes from $(echo $owners), which scripts/setup does not install"
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "PASS: ${#TOOLS[@]} programs, ${#LISTED[@]} packages"
exit "$failed"
