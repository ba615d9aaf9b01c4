#!/usr/bin/env python3
# Writes the seed documents of the fuzz_openraster harness into
# corpus/fuzz_openraster/: small OpenRaster archives that read (one layer,
# nested stacks, grey, palette and 16-bit PNGs, an unknown composite
# operation, Brenmark's own attributes) and some that must be refused (a
# missing layer image, a damaged entry, a cut archive, no stack.xml). Run
# once; the files are committed beside a document the tool saved.
import io
import os
import struct
import zipfile
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "fuzz_openraster")


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, colour_type, depth, rows, extra=b""):
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


RGBA = png(4, 3, 6, 8, [bytes([255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 9])] * 3)
GREY = png(4, 3, 0, 8, [bytes([0, 80, 160, 255])] * 3)
DEEP = png(2, 2, 2, 16, [struct.pack(">6H", 0x8080, 0xFFFF, 0, 1, 2, 3)] * 2)
PALETTE = png(2, 2, 3, 8, [bytes([0, 1])] * 2,
              chunk(b"PLTE", bytes([10, 20, 30, 40, 50, 60])) + chunk(b"tRNS", bytes([255, 102])))


def stack(layers, image='w="4" h="3" version="0.0.5"'):
    return ('<?xml version="1.0" encoding="UTF-8"?><image %s><stack>%s</stack></image>'
            % (image, layers)).encode()


def archive(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data, deflate in entries:
            info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED
            z.writestr(info, data)
    return out.getvalue()


def document(xml, images, deflate=True):
    return archive([("mimetype", b"image/openraster", False), ("stack.xml", xml, deflate)] +
                   [(n, d, False) for n, d in images])


BRENMARK = ('xmlns:brenmark="urn:brenmark:openraster:1" w="4" h="3" '
            'brenmark:background="1 1 1 1" brenmark:selection="s.png" '
            'brenmark:selection-x="0" brenmark:selection-y="0" brenmark:selection-fill="0"')
SEEDS = {
    "one-layer.ora": document(stack('<layer name="A" src="a.png" x="1" y="-1" opacity="0.5"/>'),
                              [("a.png", RGBA)]),
    "nested.ora": document(stack('<layer src="g.png"/><stack x="2" visibility="hidden">'
                                 '<layer src="a.png" composite-op="svg:multiply"/></stack>'),
                           [("a.png", RGBA), ("g.png", GREY)]),
    "kinds.ora": document(stack('<layer src="d.png"/><layer src="p.png" y="1"/>'),
                          [("d.png", DEEP), ("p.png", PALETTE)]),
    "brenmark.ora": document(stack(
        '<layer src="g.png" brenmark:kind="mask" brenmark:fill="80" brenmark:visible="false"/>'
        '<layer src="a.png" brenmark:kind="image" brenmark:offset-x="1.5" brenmark:offset-y="-2"'
        ' brenmark:colour-src="a.png" brenmark:stencil-src="g.png" brenmark:stencil-fill="0"/>'
        '<layer src="a.png" brenmark:kind="background"/>', BRENMARK),
        [("a.png", RGBA), ("g.png", GREY), ("s.png", GREY)]),
    "missing-layer.ora": document(stack('<layer src="nothere.png"/>'), []),
    "no-stack.ora": archive([("mimetype", b"image/openraster", False)]),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    good = SEEDS["one-layer.ora"]
    with open(os.path.join(OUT, "cut.ora"), "wb") as f:
        f.write(good[: len(good) // 2])
    damaged = bytearray(good)
    damaged[good.index(b"IDAT") + 6] ^= 0xFF
    with open(os.path.join(OUT, "damaged.ora"), "wb") as f:
        f.write(bytes(damaged))


if __name__ == "__main__":
    main()
