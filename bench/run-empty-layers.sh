#!/usr/bin/env bash
# Peak memory of kavrilon-cli on a file of nothing but empty layers (8 bytes
# each), for check, convert and render of the .s3d and of the .b3d it converts
# to, against the ceiling every read keeps: ten times the file plus 50 MB.
# Prints the median of RUNS runs of each and the bytes per layer above the
# program's own peak on a one-layer file.
#
#   bench/run-empty-layers.sh [BUILD_DIR] [LAYERS] [RUNS]
#                              (defaults: build/release, 1000000, 3)
# Generated files go to bench/out/ (never committed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
layers="${2:-1000000}"
runs="${3:-3}"
out="$root/bench/out"
mkdir -p "$out"
if [ ! -x /usr/bin/time ]; then
  echo "install the Debian package 'time' for the memory check" >&2
  exit 1
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target kavrilon-cli >/dev/null
cli="$build/cli/kavrilon-cli"

empty() {  # empty FILE N
  awk -v n="$2" 'BEGIN { print "Empty layers"; for (i = 0; i < n; i++) printf "L\n0 0 0\n" }' >"$1"
}
s3d="$out/empty-$layers.s3d"
b3d="$out/empty-$layers.b3d"
empty "$out/empty-1.s3d" 1
empty "$s3d" "$layers"
"$cli" convert "$s3d" "$b3d" >/dev/null

# peak FILE ARGS...: the median peak RSS in KB of `kavrilon-cli ARGS`.
peak() {
  for _ in $(seq "$runs"); do
    /usr/bin/time -f %M "$cli" "$@" 2>&1 >/dev/null | tail -1
  done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

status=0
printf '%-36s %10s %10s %8s\n' "command ($layers layers)" "peak MB" "ceiling" "B/layer"
for cmd in "check %s" "convert %s $out/out.b3d" "convert %s $out/out.s3d" "render %s -o $out/out.bmp"; do
  base=$(peak $(printf "$cmd" "$out/empty-1.s3d"))
  for input in "$s3d" "$b3d"; do
    # shellcheck disable=SC2046
    kb=$(peak $(printf "$cmd" "$input"))
    ceiling=$((10 * $(stat -c %s "$input") / 1024 + 50 * 1024))
    label=$(printf "$cmd" "$(basename "$input")" | sed "s|$out/||g")
    printf '%-36s %10d %10d %8d\n' "$label" $((kb / 1024)) $((ceiling / 1024)) $(((kb - base) * 1024 / layers))
    if [ "$kb" -gt "$ceiling" ]; then status=1; fi
  done
done
rm -f "$s3d" "$b3d" "$out/empty-1.s3d" "$out/out.b3d" "$out/out.s3d" "$out/out.bmp"
if [ "$status" -ne 0 ]; then
  echo "FAIL: a peak above its ceiling" >&2
  exit 1
fi
echo "OK"
