#!/usr/bin/env bash
# Decode time of a 24-megapixel (6000 x 4000) TGA, PCX and SGI file: our decoders beside
# ImageMagick's convert, in the same run. The pictures are made once, from one photo-like
# plasma fractal, into BUILD/bench-data/raster.
#   bench/decode_compare_tga_pcx_sgi.sh [BUILD]      (default BUILD: build)
# With BUILD/lumatrim-render present both sides are timed as whole processes with hyperfine
# (ours: --decode-only to a PPM file); otherwise ours is timed in-process by
# BUILD/bench/bench_raster_decoders and convert by hyperfine.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
data="$build/bench-data/raster"
mkdir -p "$data"

make_file() { # NAME CONVERT-ARGS...
    local name="$1"
    shift
    [ -s "$data/$name" ] || nice convert "$data/photo.png" "$@"
}
if [ ! -s "$data/photo.png" ]; then
    echo "Making the 6000 x 4000 source picture (once)..." >&2
    nice convert -seed 7 -size 6000x4000 plasma:fractal -depth 8 "$data/photo.png"
fi
make_file photo_rle.tga -compress RLE "TGA:$data/photo_rle.tga"
make_file photo_raw.tga -compress None "TGA:$data/photo_raw.tga"
make_file photo.pcx -type TrueColor "PCX:$data/photo.pcx"
make_file photo_rle.sgi -compress RLE "SGI:$data/photo_rle.sgi"
make_file photo_verbatim.sgi -compress None "SGI:$data/photo_verbatim.sgi"

files=(photo_rle.tga photo_raw.tga photo.pcx photo_rle.sgi photo_verbatim.sgi)
ours="$build/lumatrim-render"
if [ -x "$ours" ]; then
    for f in "${files[@]}"; do
        hyperfine --warmup 1 --runs 5 -n "lumatrim-render $f" "$ours --decode-only $data/$f $data/out.ppm" \
            -n "convert $f" "convert $data/$f ppm:- >/dev/null"
    done
    rm -f "$data/out.ppm"
else
    LUMATRIM_BENCH_RASTER_DIR="$data" "$build/bench/bench_raster_decoders" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true
    for f in "${files[@]}"; do
        hyperfine --warmup 1 --runs 5 -n "convert $f" "convert $data/$f ppm:- >/dev/null"
    done
fi
