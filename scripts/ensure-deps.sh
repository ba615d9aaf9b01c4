#!/usr/bin/env bash
# Installs the packages the build needs when they are missing (Debian family).
# Usage: ensure-deps.sh build|bench|fuzz
set -euo pipefail
mode=${1:-build}
want=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libpng-dev libzip-dev libpugixml-dev
  libsdl2-dev xvfb xdotool)
[ "$mode" = bench ] && want+=(python3 libbenchmark-dev libpixman-1-dev libmypaint-dev libopencv-imgproc-dev libcairo2-dev)
[ "$mode" = fuzz ] && want+=(clang)

updated=0
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}" >&2
  if ! command -v apt-get >/dev/null; then
    echo "missing packages (${missing[*]}) and no apt-get: install them by hand" >&2
    exit 1
  fi
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if [ $updated -eq 0 ]; then
    $sudo apt-get update -qq
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_missing "${want[@]}"

# libFuzzer and the sanitizer runtimes ship apart from the compiler, in the
# runtime package of clang's major version (libclang-rt-14-dev for clang 14);
# llvm-N brings the symbolizer that turns crash addresses into lines.
if [ "$mode" = fuzz ]; then
  major=$(clang++ -dumpversion | cut -d. -f1)
  install_missing "libclang-rt-$major-dev" "llvm-$major"
fi
