#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   1. the GoogleTest suites and fuzz replays under AddressSanitizer + UBSan;
#   2. a release build installed into a temporary prefix, with the example consumer
#      built against it;
#   3. each libFuzzer target for FUZZ_SECONDS (default 30) when clang is present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/install-deps.sh" test

echo "== sanitizer build and tests"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_SANITIZE=ON
cmake --build "$root/build/asan" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build/asan" && ctest --output-on-failure -j "$jobs" --timeout 900)

echo "== release build, install and example consumer"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_TESTS=OFF
cmake --build "$root/build/release" -j "$jobs"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$root/build/release" --prefix "$prefix" >/dev/null
if [ -f "$root/examples/CMakeLists.txt" ]; then
  cmake -S "$root/examples" -B "$prefix/example-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix"
  cmake --build "$prefix/example-build"
  (cd "$prefix" && LD_LIBRARY_PATH="$prefix/lib" "$prefix/example-build/tessera-example" "$prefix")
  # The same host through pkg-config, and the installed tool.
  libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
  g++ -std=c++17 "$root/examples/main.cpp" -o "$prefix/example-pc" \
    $(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs tessera) -Wl,-rpath,"$(dirname "$libdir")"
  "$prefix/example-pc" "$prefix"
  "$prefix/bin/tessera" demo --out "$prefix/demo" --size 160x120 >/dev/null
fi

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzzing (${FUZZ_SECONDS:-30} s per target)"
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSERA_FUZZ=ON -DTESSERA_TESTS=OFF -DTESSERA_SANITIZE=ON
  cmake --build "$root/build/fuzz" -j "$jobs"
  while read -r fuzzer corpus; do
    [ -n "$fuzzer" ] || continue
    work=$(mktemp -d)
    [ -n "${corpus:-}" ] && [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "-- $fuzzer"
    if (cd "$work" && "$root/build/fuzz/fuzz/$fuzzer" -max_total_time="${FUZZ_SECONDS:-30}" -rss_limit_mb=2048 \
        -timeout=10 "$work" >"$work.log" 2>&1); then
      grep -E '^(Done|#[0-9]+ *DONE)' "$work.log" | tail -n 1 || true
      rm -rf "$work" "$work.log"
    else
      tail -n 60 "$work.log"
      echo "fuzzer $fuzzer failed; inputs in $work" >&2
      exit 1
    fi
  done < "$root/build/fuzz/fuzzers.txt"
else
  echo "== clang not found: fuzzing skipped"
fi
echo "== all tests passed"
