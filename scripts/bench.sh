#!/usr/bin/env bash
# Installs the benchmark peers, builds the benchmarks (release) and runs them all, or
# those named: scripts/bench.sh [gif_bench ...]. Extra flags go through BENCH_FLAGS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" bench
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_TESTS=OFF -DTESSERA_BENCH=ON >/dev/null
cmake --build "$root/build/bench" -j "$(nproc)"
cd "$root/build/bench/bench"
if [ $# -eq 0 ]; then
  set -- $(ls *_bench 2>/dev/null)
fi
for b in "$@"; do
  echo "== $b"
  "./$b" ${BENCH_FLAGS:-}
done
