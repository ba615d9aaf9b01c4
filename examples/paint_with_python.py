#!/usr/bin/env python3
"""Paints a small picture through libbrenmark-c.so with ctypes: a canvas with
two layers (hills, then a sun and a bird above them), a few strokes each,
composed over a sky-blue background and written as a PNG. Prints the PNG's
absolute path.

    python3 paint_with_python.py [--library path/to/libbrenmark-c.so] [out.png]

Without --library the library is taken from BRENMARK_C_LIBRARY, else found by
the system's usual search (libbrenmark-c.so.0).
"""
import argparse
import ctypes
import ctypes.util
import os
import struct
import sys
import zlib


class Sample(ctypes.Structure):
    _fields_ = [("x", ctypes.c_float), ("y", ctypes.c_float), ("pressure", ctypes.c_float)]


class Brush(ctypes.Structure):
    _fields_ = [
        ("color", ctypes.c_float * 4),
        ("radius", ctypes.c_float),
        ("opacity", ctypes.c_float),
        ("profile", ctypes.c_int),
        ("spacing", ctypes.c_float),
        ("smooth", ctypes.c_int),
    ]


class BrenmarkError(RuntimeError):
    pass


class Engine:
    """The engine and its canvases; every failing call raises BrenmarkError."""

    def __init__(self, path):
        lib = ctypes.CDLL(path)
        u64, i, p = ctypes.c_uint64, ctypes.c_int, ctypes.POINTER
        signatures = {
            "bm_engine_start": [p(u64)],
            "bm_engine_stop": [u64],
            "bm_canvas_create": [u64, i, i, p(u64)],
            "bm_canvas_size": [u64, p(i), p(i), p(ctypes.c_size_t)],
            "bm_canvas_set_background": [u64, ctypes.c_float * 4],
            "bm_layer_add": [u64, i, p(i)],
            "bm_layer_set_name": [u64, i, ctypes.c_char_p],
            "bm_layer_set_opacity": [u64, i, ctypes.c_float],
            "bm_brush_init": [p(Brush)],
            "bm_set_brush": [u64, p(Brush)],
            "bm_paint_stroke": [u64, p(Sample), ctypes.c_size_t],
            "bm_undo": [u64],
            "bm_canvas_read": [u64, i, ctypes.c_char_p, ctypes.c_size_t],
        }
        for name, args in signatures.items():
            f = getattr(lib, name)
            f.argtypes, f.restype = args, ctypes.c_int
        lib.bm_status_message.argtypes, lib.bm_status_message.restype = [i], ctypes.c_char_p
        lib.bm_last_error.argtypes, lib.bm_last_error.restype = [u64], ctypes.c_char_p
        self.lib = lib
        self.id = ctypes.c_uint64(0)
        self.check(lib.bm_engine_start(ctypes.byref(self.id)))

    def check(self, status):
        if status != 0:
            text = self.lib.bm_status_message(status).decode()
            detail = self.lib.bm_last_error(self.id).decode()
            raise BrenmarkError(f"{text}: {detail}" if detail else text)

    def call(self, name, *args):
        self.check(getattr(self.lib, name)(*args))

    def stop(self):
        self.call("bm_engine_stop", self.id)


def write_png(path, width, height, rgba):
    """An 8-bit RGBA PNG, rows top first, written beside the target and then
    renamed over it."""

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    rows = b"".join(b"\0" + rgba[y * width * 4:(y + 1) * width * 4] for y in range(height))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
    temp = path + ".tmp"
    with open(temp, "wb") as f:
        f.write(png)
    os.replace(temp, path)


def paint(engine, out):
    lib, bm = engine.lib, engine.call
    width, height = 160, 120
    canvas = ctypes.c_uint64(0)
    bm("bm_canvas_create", engine.id, width, height, ctypes.byref(canvas))
    bm("bm_canvas_set_background", canvas, (ctypes.c_float * 4)(0.55, 0.75, 0.95, 1.0))

    def layer(name):
        index = ctypes.c_int(0)
        bm("bm_layer_add", canvas, 0, ctypes.byref(index))
        bm("bm_layer_set_name", canvas, index, name.encode())
        return index.value

    def brush(rgb, radius, profile, opacity=1.0):
        b = Brush()
        engine.check(lib.bm_brush_init(ctypes.byref(b)))
        b.color[:] = [*rgb, 1.0]
        b.radius, b.profile, b.opacity, b.smooth = radius, profile, opacity, 1
        bm("bm_set_brush", engine.id, ctypes.byref(b))

    def stroke(points):
        samples = (Sample * len(points))(*[Sample(*p) for p in points])
        bm("bm_paint_stroke", canvas, samples, len(points))

    # Layer 1: two rows of hills, y upwards from the bottom: each a soft
    # ridge stroke and firmer strokes filling in below it.
    def hills(rgb, base, height, period, phase):
        for depth, profile in ((0, 0), (10, 2), (20, 2), (30, 2)):
            brush(rgb, 12, profile)
            stroke([(x, base - depth + height * ((x / period + phase) % 2 - 1) ** 2, 1.0)
                    for x in range(-10, 175, 5)])

    layer("Hills")
    hills((0.3, 0.55, 0.25), 40, 14, 40, 0)
    hills((0.15, 0.38, 0.12), 22, 10, 55, 0.5)
    # Layer 2: a sun (a hard dab) and a bird; a stray stroke taken back.
    layer("Sky things")
    brush((1.0, 0.85, 0.2), 12, 4)
    stroke([(122, 88, 1.0)])
    brush((0.1, 0.1, 0.15), 1.5, 2)
    stroke([(40, 80, 0.8), (46, 85, 1.0), (52, 80, 0.9), (58, 85, 1.0), (64, 80, 0.8)])
    stroke([(0, 0, 1.0), (160, 120, 1.0)])
    bm("bm_undo", engine.id)

    w, h, size = ctypes.c_int(), ctypes.c_int(), ctypes.c_size_t()
    bm("bm_canvas_size", canvas, ctypes.byref(w), ctypes.byref(h), ctypes.byref(size))
    pixels = ctypes.create_string_buffer(size.value)
    bm("bm_canvas_read", canvas, 0, pixels, size.value)  # straight RGBA, top row first
    write_png(out, w.value, h.value, pixels.raw)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", default=os.environ.get("BRENMARK_C_LIBRARY"))
    parser.add_argument("output", nargs="?", default="brenmark-python.png")
    args = parser.parse_args()
    library = args.library or ctypes.util.find_library("brenmark-c") or "libbrenmark-c.so.0"
    try:
        engine = Engine(library)
    except OSError as e:
        print(f"paint_with_python: cannot load {library}: {e}", file=sys.stderr)
        return 1
    try:
        paint(engine, args.output)
    except (BrenmarkError, OSError) as e:
        print(f"paint_with_python: {e}", file=sys.stderr)
        return 1
    finally:
        engine.stop()
    print(os.path.abspath(args.output))
    return 0


if __name__ == "__main__":
    sys.exit(main())
