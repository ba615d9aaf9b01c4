#!/usr/bin/env python3
# Writes the PNG seed files of the fuzz_png harness into corpus/fuzz_png/:
# one small image per colour type and bit depth the reader handles, plus
# transparency chunks, an interlaced file and one with a gamma chunk. Run
# once; the files are committed.
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "fuzz_png")


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def samples_per_pixel(colour_type):
    return {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]


def pack_row(values, depth):
    """Packs one row of samples of `depth` bits."""
    if depth == 8:
        return bytes(values)
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in values)
    out, acc, bits = bytearray(), 0, 0
    for v in values:
        acc = (acc << depth) | v
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def raw_rows(pixels, width, height, colour_type, depth, filters):
    spp = samples_per_pixel(colour_type)
    data = bytearray()
    for y in range(height):
        row = [s for x in range(width) for s in pixels(x, y)]
        assert len(row) == width * spp
        f = filters[y % len(filters)]
        line = pack_row(row, depth)
        if f == 1:  # Sub
            bpp = max(1, spp * depth // 8)
            line = bytes((line[i] - (line[i - bpp] if i >= bpp else 0)) & 0xFF
                         for i in range(len(line)))
        data.append(f)
        data += line
    return bytes(data)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4),
         (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(name, width, height, colour_type, depth, pixels, extra=(), interlace=False,
        filters=(0,)):
    if interlace:
        data = b""
        for x0, y0, dx, dy in ADAM7:
            w = (width - x0 + dx - 1) // dx if width > x0 else 0
            h = (height - y0 + dy - 1) // dy if height > y0 else 0
            if w and h:
                data += raw_rows(lambda x, y: pixels(x0 + x * dx, y0 + y * dy), w, h,
                                 colour_type, depth, filters)
    else:
        data = raw_rows(pixels, width, height, colour_type, depth, filters)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlace else 0)
    body = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
    for kind, payload in extra:
        body += chunk(kind, payload)
    body += chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b"")
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(body)


os.makedirs(OUT, exist_ok=True)
png("grey8.png", 5, 3, 0, 8, lambda x, y: [(x * 50 + y * 20) % 256], filters=(0, 1))
png("grey1.png", 11, 2, 0, 1, lambda x, y: [(x + y) % 2])
png("grey4-trns.png", 6, 4, 0, 4, lambda x, y: [(x * 3 + y) % 16],
    extra=[(b"tRNS", struct.pack(">H", 5))])
png("grey16.png", 3, 3, 0, 16, lambda x, y: [x * 30000 + y * 1000])
png("grey-alpha.png", 4, 4, 4, 8, lambda x, y: [x * 60, y * 80])
png("grey-alpha16.png", 2, 3, 4, 16, lambda x, y: [x * 65535, y * 30000])
png("palette-trns.png", 5, 5, 3, 8, lambda x, y: [(x + y) % 4],
    extra=[(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250])),
           (b"tRNS", bytes([255, 128, 0]))])
png("palette2.png", 9, 2, 3, 2, lambda x, y: [(x * y) % 3],
    extra=[(b"PLTE", bytes([10, 20, 30, 40, 50, 60, 70, 80, 90]))])
png("rgb.png", 4, 3, 2, 8, lambda x, y: [x * 60, y * 100, 200], filters=(1, 0))
png("rgb16-trns.png", 3, 2, 2, 16, lambda x, y: [x * 20000, y * 40000, 1234],
    extra=[(b"tRNS", struct.pack(">HHH", 0, 0, 1234))])
png("rgba.png", 5, 4, 6, 8, lambda x, y: [x * 50, y * 60, 128, (x * 64 + y * 32) % 256])
png("rgba16.png", 2, 2, 6, 16, lambda x, y: [65535, x * 65535, y * 32768, 40000])
png("rgba-interlaced.png", 9, 9, 6, 8, lambda x, y: [x * 28, y * 28, 99, 255 - x * y],
    interlace=True)
png("rgb-gamma.png", 3, 3, 2, 8, lambda x, y: [x * 100, 50, y * 100],
    extra=[(b"gAMA", struct.pack(">I", 45455))])
png("grey-page.png", 130, 2, 0, 8, lambda x, y: [x % 256])
