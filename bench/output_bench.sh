#!/usr/bin/env bash
# The reference codecs natively on the pictures output_bench wrote: ImageMagick's convert with
# its default PNG settings, whose files the library's PNG files are weighed against (and must
# decode to the same pixels as), and libjpeg-turbo's cjpeg at quality 90, set against the
# export and the WIC encoder timed under Wine.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
cd "$BUILD"
[ -f output_bench.ppm ] && [ -f output_bench_results.txt ] || { echo "run output_bench first"; exit 1; }
python3 - <<'PY'
import os, subprocess, sys
for name, what in (("output_bench", "bench picture"), ("output_bench_text", "text-heavy window")):
    subprocess.run(["convert", name + ".ppm", name + "_convert.png"], check=True)
    ours, theirs = os.path.getsize(name + ".png"), os.path.getsize(name + "_convert.png")
    print("%-40s %8.1f KB against convert's default PNG %.1f KB: ratio %.2f (target <= 1.1)"
          % ("PNG file, " + what, ours / 1024, theirs / 1024, ours / theirs))
    pixels = [subprocess.run(["convert", f, "-depth", "8", "rgb:-"], capture_output=True,
                             check=True).stdout for f in (name + ".png", name + ".ppm")]
    if pixels[0] != pixels[1]:
        sys.exit("the PNG of the %s does not decode to its pixels" % what)
print("  both PNG files decode to exactly their pictures")
PY
python3 - <<'PY'
import statistics, subprocess, time
results = dict(line.strip().split("=") for line in open("output_bench_results.txt") if "=" in line)
runs = []
for i in range(10):
    start = time.perf_counter()
    subprocess.run(["cjpeg", "-quality", "90", "-outfile", "output_bench_cjpeg.jpg", "output_bench.ppm"], check=True)
    if i:
        runs.append((time.perf_counter() - start) * 1000)
cjpeg = statistics.median(runs)
export = float(results["export_ms"])
wic = float(results["wic_encode_ms"])
print("cjpeg -quality 90 (native, process included) %8.2f ms" % cjpeg)
print("JPEG export / cjpeg = %.2fx, WIC encode / cjpeg = %.2fx" % (export / cjpeg, wic / cjpeg))
PY
rm -f output_bench.ppm output_bench_cjpeg.jpg output_bench_results.txt output_bench.png \
    output_bench_convert.png output_bench_text.ppm output_bench_text.png output_bench_text_convert.png
