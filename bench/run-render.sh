#!/usr/bin/env bash
# The whole-process benchmark: kavrilon-cli from start to image file, as a user
# runs it, on generated meshes at 1920x1080. Each row runs RUNS times (default
# 3) with KAVRILON_THREADS=1 and with the default thread count, and prints the
# median wall time, CPU time (user + system) and peak resident memory.
#
#   bench/run-render.sh [BUILD_DIR [BASE_BUILD_DIR]]   (default build/release)
#
# With a second build directory (say a build of main in build/base, which this
# script never rebuilds) both
# programs run in the same command, their runs interleaved, so that the load
# of a shared machine falls on both alike. RUNS=5 in the environment for more.
# Generated files go to bench/out/ (never committed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
base="${2:-}"
runs="${RUNS:-3}"
out="$root/bench/out"
mkdir -p "$out"
if [ ! -x /usr/bin/time ]; then
  echo "install the Debian package 'time' for this benchmark" >&2
  exit 1
fi
# Only the build under test is brought up to date: the baseline stays as built.
cmake --build "$build" --target gen_mesh kavrilon-cli >/dev/null 2>&1

gen="$build/bench/gen_mesh"
[ -f "$out/q1m.s3d" ] || "$gen" --quads 1000000 "$out/q1m.s3d" --pva "$out/q1m.pva"
[ -f "$out/q100k.s3d" ] || "$gen" --quads 100000 "$out/q100k.s3d"
[ -f "$out/q1.s3d" ] || "$gen" --quads 1 "$out/q1.s3d"

size=1920x1080
rows=(
  "shaded-1M|render $out/q1m.s3d -o $out/img.png --size $size --shading"
  "contour-1M|render $out/q1m.s3d -o $out/img.png --size $size --pva $out/q1m.pva"
  "shaded-100k|render $out/q100k.s3d -o $out/img.png --size $size --shading"
  "check-1M|check $out/q1m.s3d"
  "shaded-1quad|render $out/q1.s3d -o $out/img.png --size $size --shading"
)
programs=("new|$build/cli/kavrilon-cli")
[ -n "$base" ] && programs=("base|$base/cli/kavrilon-cli" "${programs[@]}")

# median of the numbers on stdin
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

printf "%-13s %-5s %-7s %9s %9s %9s\n" row build threads "wall s" "cpu s" "peak MB"
for row in "${rows[@]}"; do
  name="${row%%|*}"
  args="${row#*|}"
  for threads in 1 default; do
    declare -A samples=()
    for ((i = 0; i < runs; i++)); do
      for program in "${programs[@]}"; do
        label="${program%%|*}"
        exe="${program#*|}"
        if [ "$threads" = 1 ]; then export KAVRILON_THREADS=1; else unset KAVRILON_THREADS; fi
        # shellcheck disable=SC2086
        /usr/bin/time -f "%e %U %S %M" -o "$out/time.txt" "$exe" $args >/dev/null
        samples[$label]+="$(cat "$out/time.txt")"$'\n'
      done
    done
    unset KAVRILON_THREADS
    for program in "${programs[@]}"; do
      label="${program%%|*}"
      data="${samples[$label]}"
      wall=$(awk 'NF {print $1}' <<<"$data" | median)
      cpu=$(awk 'NF {print $2 + $3}' <<<"$data" | median)
      peak=$(awk 'NF {print $4 / 1024}' <<<"$data" | median)
      printf "%-13s %-5s %-7s %9.3f %9.3f %9.0f\n" "$name" "$label" "$threads" "$wall" "$cpu" "$peak"
    done
    unset samples
  done
done
