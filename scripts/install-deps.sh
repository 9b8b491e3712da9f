#!/usr/bin/env bash
# Installs the Debian packages the project needs: scripts/install-deps.sh build|test|bench.
# "test" includes "build", "bench" includes both. Lists: scripts/packages/<stem>.<kind>.
set -euo pipefail
kind=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
kinds=(build)
case "$kind" in
  build) ;;
  test) kinds+=(test) ;;
  bench) kinds+=(test bench) ;;
  *) echo "usage: $0 build|test|bench" >&2; exit 2 ;;
esac
wanted=()
for k in "${kinds[@]}"; do
  for f in "$here"/packages/*."$k"; do
    [ -e "$f" ] || continue
    while read -r pkg; do
      pkg=${pkg%%#*}; pkg=$(echo "$pkg" | tr -d '[:space:]')
      [ -n "$pkg" ] && wanted+=("$pkg")
    done < "$f"
  done
done
missing=()
for pkg in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
