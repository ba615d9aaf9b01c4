#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds the embedding
# example out of tree twice: once with pkg-config, once with find_package;
# then the C interface and the OpenRaster component the same two ways.
# Usage: check_install.sh <source dir> <build dir> <scratch dir>
set -euo pipefail
src=$1 build=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(find "$prefix" -name libbrenmark.so -printf '%h\n' | head -n 1)
export PKG_CONFIG_PATH=$libdir/pkgconfig
export LD_LIBRARY_PATH=$libdir

echo "-- pkg-config"
# --define-prefix: the .pc file names the configured prefix, not the scratch
# one it was installed to.
g++ -std=c++20 -Wall -Wextra -Werror -I"$src" -o "$scratch/embed_pc" \
  "$src/examples/embed/embed.cpp" "$src"/host/*.cpp \
  $(pkg-config --cflags --libs brenmark)
"$scratch/embed_pc"

echo "-- find_package"
cmake -S "$src/examples/embed" -B "$scratch/cmake" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DBRENMARK_HOST_DIR="$src/host" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/embed"

echo "-- C interface (pkg-config brenmark-c, find_package COMPONENTS c)"
mkdir -p "$scratch/c"
cat >"$scratch/c/use_c.c" <<'C'
#include <brenmark/brenmark_c.h>
#include <stdio.h>
int main(void) {
  bm_engine e = 0;
  bm_canvas c = 0;
  int layer = 0;
  if (bm_engine_start(&e) || bm_canvas_create(e, 32, 32, &c) || bm_layer_add(c, 0, &layer) ||
      layer != 1 || bm_engine_stop(e)) {
    fprintf(stderr, "use_c: %s\n", bm_last_error(e));
    return 1;
  }
  puts("C interface: a canvas with 1 layer");
  return 0;
}
C
gcc -std=c11 -Wall -Wextra -Werror -pedantic -o "$scratch/c/use_c_pc" "$scratch/c/use_c.c" \
  $(pkg-config --cflags --libs brenmark-c)
"$scratch/c/use_c_pc"
cat >"$scratch/c/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(UseC LANGUAGES C)
find_package(Brenmark 0.1 REQUIRED COMPONENTS c)
add_executable(use_c use_c.c)
target_link_libraries(use_c PRIVATE Brenmark::brenmark_c)
CM
cmake -S "$scratch/c" -B "$scratch/c/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/c/build" >/dev/null
"$scratch/c/build/use_c"

echo "-- OpenRaster (pkg-config brenmark-openraster, find_package COMPONENTS openraster)"
if [ -f "$libdir/pkgconfig/brenmark-openraster.pc" ]; then
  mkdir -p "$scratch/ora"
  cat >"$scratch/ora/use_ora.cpp" <<'CPP'
#include <brenmark/openraster.h>
#include <cstdio>
int main() {
  brenmark::OpenRasterDocument document;
  const char notZip[] = "not a zip";
  const brenmark::OpenRasterResult r =
      brenmark::ReadOpenRasterMemory(notZip, sizeof notZip - 1, document);
  if (r.ok || r.message.empty()) return 1;
  std::printf("OpenRaster: refused: %s\n", r.message.c_str());
  return 0;
}
CPP
  g++ -std=c++20 -Wall -Wextra -Werror -o "$scratch/ora/use_ora_pc" "$scratch/ora/use_ora.cpp" \
    $(pkg-config --cflags --libs brenmark-openraster)
  "$scratch/ora/use_ora_pc"
  cat >"$scratch/ora/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(UseOra LANGUAGES CXX)
find_package(Brenmark 0.1 REQUIRED COMPONENTS openraster)
add_executable(use_ora use_ora.cpp)
target_compile_features(use_ora PRIVATE cxx_std_20)
target_link_libraries(use_ora PRIVATE Brenmark::openraster)
CM
  cmake -S "$scratch/ora" -B "$scratch/ora/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$scratch/ora/build" >/dev/null
  "$scratch/ora/build/use_ora"
else
  echo "(not built here: the OpenRaster library's dependencies are missing)"
fi

echo "-- README"
# The README's build lines, run as written from a tree that looks like the
# source tree (its examples and host, the build as `build`), with only the
# prefix changed. The README's program must be the example, word for word.
readme=$src/README.md
snippet=$(awk '/^```cpp$/{f=1;next} /^```$/{if(f)exit} f' "$readme")
if [ "$snippet" != "$(cat "$src/examples/embed/embed.cpp")" ]; then
  echo "README.md: the embedding program differs from examples/embed/embed.cpp" >&2
  exit 1
fi
lines=$(awk '/<!-- embed-build/{m=1;next} m&&/^```sh$/{f=1;next} f&&/^```$/{exit} f' "$readme")
[ -n "$lines" ] || { echo "README.md: no embed-build block" >&2; exit 1; }
tree=$scratch/tree
mkdir -p "$tree"
ln -s "$src/examples" "$tree/examples"
ln -s "$src/host" "$tree/host"
ln -s "$build" "$tree/build"
unset PKG_CONFIG_PATH LD_LIBRARY_PATH
(cd "$tree" && bash -euo pipefail -c "$(printf '%s\n' "$lines" |
  sed "s|^PREFIX=.*|PREFIX=$scratch/readme-prefix|")")
