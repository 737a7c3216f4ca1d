#!/usr/bin/env bash
# Times full decodes of a 24-megapixel photo (6000 x 4000) as JPEG (quality 92), PNG and
# TIFF (uncompressed and LZW): Lumatrim's decoders beside djpeg and "vips avg" in the same
# run. Usage: bench/decode_compare.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
data="$build/bench-data"
mkdir -p "$data"

# Photo-like content: soft fractal color areas with fine grain (about 9 MB at quality 92,
# like a camera's 24-megapixel JPEG). Made once.
if [ ! -f "$data/photo.jpg" ]; then
  echo "making $data/photo.jpg (takes a minute)"
  nice convert -size 6000x4000 -seed 24 plasma:fractal -blur 0x1.5 -seed 24 -attenuate 0.25 +noise Gaussian \
    -quality 92 "$data/photo.jpg"
fi
[ -f "$data/photo.png" ] || nice convert "$data/photo.jpg" "$data/photo.png"
[ -f "$data/photo.tif" ] || nice convert "$data/photo.jpg" -compress none "$data/photo.tif"
[ -f "$data/photo-lzw.tif" ] || nice convert "$data/photo.jpg" -compress lzw "$data/photo-lzw.tif"

cmake --build "$build" --target bench_decoders_main -j2
LUMATRIM_BENCH_DATA="$data" nice "$build/bench/bench_decoders_main" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true

if command -v hyperfine > /dev/null; then
  # The tools alone, for a second opinion on their times.
  nice hyperfine --warmup 2 --runs 10 \
    "djpeg -ppm -outfile /dev/null $data/photo.jpg" \
    "vips avg $data/photo.png" "vips avg $data/photo.tif" "vips avg $data/photo-lzw.tif"
fi
