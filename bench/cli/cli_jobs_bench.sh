#!/usr/bin/env bash
# Files at once in ambrel-cli: the same folder of small JPEG photographs
# converted and filtered with --jobs 1 and with --jobs 2 (or the cores); the
# ratio of the times is the speed-up. Each measurement is the best of a few
# runs, taken in turns, so that other load on the machine touches both alike.
# Usage: cli_jobs_bench.sh AMBREL_CLI [FILES (500)] [RUNS (3)]
set -euo pipefail
CLI="$(realpath "$1")"
FILES="${2:-500}"
RUNS="${3:-3}"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
JOBS="$(nproc)"
[ "$JOBS" -ge 2 ] || JOBS=2
WORK="$(mktemp -d "${TMPDIR:-/tmp}/ambrel-cli-bench-XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# The photographs: the program's sample photos and a photograph of the
# external test suites, each resampled to about 640 pixels wide (a
# different width for each file) and saved as JPEG.
SOURCES=("$ROOT"/resources/samples/*.jpg)
LANDSCAPE="$ROOT/../shared/testdata/jpeg/exif-orientation-examples/Landscape_1.jpg"
[ -f "$LANDSCAPE" ] && SOURCES+=("$LANDSCAPE")
mkdir -p "$WORK/photos" "$WORK/out"
for ((i = 0; i < FILES; i++)); do
  source="${SOURCES[i % ${#SOURCES[@]}]}"
  "$CLI" effect Resample $((600 + i % 17 * 5)) "$source" "$WORK/photos/photo $i.jpg"
done
echo "$FILES photographs of $(du -sh "$WORK/photos" | cut -f1) in total; $(nproc) cores"

# Seconds for one run of the tool on every photograph.
seconds() {
  local start end
  rm -f "$WORK"/out/*
  start=$(date +%s.%N)
  "$CLI" "$@" -o "$WORK/out" "$WORK"/photos/*.jpg
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' 
}

best() { printf '%s\n' "$@" | sort -g | head -1; }

report() {
  local name="$1"
  shift
  local one=() many=()
  for ((run = 0; run < RUNS; run++)); do
    one+=("$(seconds "$@" --jobs 1)")
    many+=("$(seconds "$@" --jobs "$JOBS")")
  done
  local t1 tn
  t1=$(best "${one[@]}")
  tn=$(best "${many[@]}")
  awk -v name="$name" -v files="$FILES" -v jobs="$JOBS" -v t1="$t1" -v tn="$tn" 'BEGIN {
    printf "%-34s --jobs 1: %6.2f s (%4.0f files/s)   --jobs %d: %6.2f s (%4.0f files/s)   speed-up %.2f\n",
           name, t1, files / t1, jobs, tn, files / tn, t1 / tn }' 
}

report "convert to JPEG" convert --format jpg
report "convert to BMP" convert --format bmp
report "effect Gaussian Blur, to JPEG" effect --effect "Gaussian Blur"
