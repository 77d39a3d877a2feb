#!/usr/bin/env bash
# Builds and runs the .s3d benchmark (read and write speed against a plain read
# of the same file), then measures the peak memory of `kavrilon-cli check` on
# the 1M-quad file against its budget: 80 bytes per element + 40 per point.
#
#   bench/run-s3d.sh [BUILD_DIR] [QUADS]      (defaults: build/release, 1000000)
# Generated files go to bench/out/ (never committed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
quads="${2:-1000000}"
out="$root/bench/out"
mkdir -p "$out"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target bench_s3d gen_mesh kavrilon-cli >/dev/null

echo "== speed (median of 5 runs)"
"$build/bench/bench_s3d" --quads "$quads" --runs 5 --dir "$out"

echo "== peak memory of kavrilon-cli check"
file="$out/rss-$quads.s3d"
"$build/bench/gen_mesh" --quads "$quads" "$file"
if [ ! -x /usr/bin/time ]; then
  echo "install the Debian package 'time' for the memory check" >&2
  exit 1
fi
/usr/bin/time -v "$build/cli/kavrilon-cli" check "$file" >"$out/check.txt" 2>"$out/time.txt"
head -1 "$out/check.txt"
rss_kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$out/time.txt")
read -r elements points < <(sed -n '1s/.*elements=\([0-9]*\) points=\([0-9]*\).*/\1 \2/p' "$out/check.txt")
budget=$((80 * elements + 40 * points))
rss=$((rss_kb * 1024))
size=$(stat -c %s "$file")
echo "file $((size / 1000000)) MB, peak RSS $((rss / 1000000)) MB, budget $((budget / 1000000)) MB" \
  "($((rss / elements)) bytes per element incl. points)"
rm -f "$file"
if [ "$rss" -gt "$budget" ]; then
  echo "FAIL: peak RSS above budget" >&2
  exit 1
fi
echo "OK"
