#!/usr/bin/env bash
# End-to-end comparison on a 24-megapixel photo-like JPEG (quality 92), default settings
# (600 px, watermark "Lumatrim"): lumatrim-render beside a full djpeg decode (the floor: we
# decode at full size), GraphicsMagick and ImageMagick with -sample, and vipsthumbnail (which
# decodes at reduced size, as we may not). Prints each median and its ratio to ours, then
# the peak memory of lumatrim-render against the size of the decoded source. lumatrim-hq is
# the same render with high-quality scaling (RESAMPLE=1), which decodes the JPEG reduced; its
# ratio to the full djpeg decode is printed last.
# Usage: bench/compare.sh [BUILD_DIR]   (needs scripts/install-deps.sh --bench)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
render="$build/lumatrim-render"
[[ -x "$render" ]] || { echo "build $render first" >&2; exit 1; }

data="$build/bench-data"
mkdir -p "$data"
src="$data/photo24mp.jpg"
if [[ ! -f "$src" ]]; then
  echo "generating $src ..."
  convert -size 6000x4000 -seed 7 plasma:fractal -blur 0x1 -quality 92 "$src"
fi
out=$(mktemp -d)
home=$(mktemp -d)   # empty program folder: the built-in default settings
trap 'rm -rf "$out" "$home"' EXIT
export LUMATRIM_HOME="$home"
printf '[PHOTO]\nRESAMPLE=1\n' > "$home/hq.dat"

names=(lumatrim djpeg gm-sample im-sample vipsthumbnail lumatrim-hq)
cmds=(
  "$render $src $out/ours.jpg"
  "djpeg -ppm -outfile /dev/null $src"
  "gm convert $src -sample 600x600 -quality 100 $out/gm.jpg"
  "convert $src -sample 600x600 -quality 100 $out/im.jpg"
  "vipsthumbnail $src -s 600 -o $out/vips.jpg[Q=100]"
  "$render --settings $home/hq.dat $src $out/hq.jpg"
)

if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 2 --runs "${RUNS:-15}" --export-json "$out/times.json" "${cmds[@]}" >/dev/null
  python3 - "$out/times.json" "${names[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
names = sys.argv[2:]
medians = [r["median"] * 1000 for r in results]
ours = medians[0]
print(f"{'command':<15}{'median ms':>12}{'ours / it':>12}")
for name, m in zip(names, medians):
    print(f"{name:<15}{m:>12.1f}{ours / m:>12.2f}")
print(f"lumatrim-hq / djpeg: {medians[names.index('lumatrim-hq')] / medians[names.index('djpeg')]:.2f}")
PY
else
  for i in "${!cmds[@]}"; do
    times=()
    for _ in 1 2 3 4 5 6 7; do
      s=$(date +%s%N); ${cmds[$i]} >/dev/null 2>&1; e=$(date +%s%N)
      times+=($(( (e - s) / 1000000 )))
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 4p)
    echo "${names[$i]}: median ${median} ms"
  done
fi

peak=$(/usr/bin/time -f '%M' "$render" "$src" "$out/ours.jpg" 2>&1 >/dev/null | tail -1)
dims=$(identify -format '%w %h' "$src")
decoded_kb=$(( $(echo "$dims" | awk '{print $1 * $2 * 3}') / 1024 ))
echo "peak memory of lumatrim-render: ${peak} KiB; decoded source: ${decoded_kb} KiB; ratio $(python3 -c "print(round($peak / $decoded_kb, 2))")"
