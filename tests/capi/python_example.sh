#!/usr/bin/env bash
# Runs examples/paint_with_python.py against the built libbrenmark-c.so: it
# must print the absolute path of the PNG it wrote and nothing else, and the
# picture must hold the sky, the hills and the sun where they were painted.
#   python_example.sh <source dir> <libbrenmark-c.so> <work dir>
set -euo pipefail
src=$1
lib=$2
work=$3
if ! command -v python3 >/dev/null; then
  echo "python3 not found: skipping the Python example"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work" && cd "$work"
out=$(python3 "$src/examples/paint_with_python.py" --library "$lib" picture.png)
if [[ "$out" != "$work/picture.png" ]]; then
  echo "expected the path $work/picture.png on standard output, got: $out" >&2
  exit 1
fi
python3 - "$work/picture.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
w, h = struct.unpack(">II", data[16:24])
assert (w, h) == (160, 120), (w, h)
idat, pos = b"", 8
while pos < len(data):
    n, kind = struct.unpack(">I4s", data[pos:pos + 8])
    if kind == b"IDAT":
        idat += data[pos + 8:pos + 8 + n]
    pos += 12 + n
raw = zlib.decompress(idat)
def px(x, y):  # y upwards from the bottom, as the script painted
    row = h - 1 - y
    i = row * (w * 4 + 1) + 1 + x * 4
    return tuple(raw[i:i + 4])
checks = {
    (5, 115): (140, 191, 242, 255),    # sky: the background
    (122, 88): (255, 216, 52, 255),    # the sun: one sample, a hard opaque dab
    (0, 0): (38, 96, 30, 255),         # the near hills, first and last column
    (159, 0): (38, 96, 30, 255),
    (159, 119): (140, 191, 242, 255),  # the last pixel: the undone stroke is gone
}
bad = [f"{p}: {px(*p)} != {v}" for p, v in checks.items() if px(*p) != v]
if bad:
    sys.exit("unexpected pixels: " + "; ".join(bad))
PY
echo "the Python example painted $work/picture.png"
