#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds the embedding
# example out of tree twice: once with pkg-config, once with find_package.
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
