#!/usr/bin/env bash
# Installs the packages the build needs when they are missing (Debian family).
# Usage: ensure-deps.sh build|bench
set -euo pipefail
want=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libpng-dev)
[ "${1:-build}" = bench ] && want+=(libbenchmark-dev libpixman-1-dev)
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}" >&2
if ! command -v apt-get >/dev/null; then
  echo "missing packages (${missing[*]}) and no apt-get: install them by hand" >&2
  exit 1
fi
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
