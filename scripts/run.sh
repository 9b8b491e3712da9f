#!/usr/bin/env bash
# Sets up, builds (release) and runs the tessera tool: scripts/run.sh [COMMAND ARGS...].
# Without arguments it runs `tessera demo` on a generated sample image.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build >&2
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_TESTS=OFF >/dev/null
cmake --build "$root/build/release" --target tessera >&2
exec "$root/build/release/tools/tessera" "$@"
