#!/usr/bin/env bash
# The reference codec natively on the picture output_bench wrote: libjpeg-turbo's cjpeg at
# quality 90, set against the export and the WIC encoder timed under Wine.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
cd "$BUILD"
[ -f output_bench.ppm ] && [ -f output_bench_results.txt ] || { echo "run output_bench first"; exit 1; }
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
rm -f output_bench.ppm output_bench_cjpeg.jpg output_bench_results.txt
