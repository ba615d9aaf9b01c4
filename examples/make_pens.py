#!/usr/bin/env python3
"""Writes the demo's pen-sample files (examples/*.pen): lines of
t x y pressure [tilt-x tilt-y], as a tablet would record them at 100 samples
a second. Positions are canvas pixels from the bottom-left corner of the
320 x 240 demo canvas. The files are committed; run this again only to change
them (python3 examples/make_pens.py)."""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, comment, samples):
    with open(os.path.join(HERE, name), "w") as f:
        f.write("# %s\n# t x y pressure [tilt-x tilt-y]\n" % comment)
        for i, s in enumerate(samples):
            t = i * 10
            words = [str(t)] + ["%.2f" % v for v in s[:2]] + ["%.3f" % s[2]]
            words += ["%.1f" % v for v in s[3:]]
            f.write(" ".join(words) + "\n")


def swell(u):
    """Pressure of a confident stroke: lands softly, presses, lifts."""
    return 0.25 + 0.75 * math.sin(math.pi * min(max(u, 0.0), 1.0)) ** 0.6


def hills():
    out = []
    for i in range(49):
        u = i / 48
        x = -10 + 340 * u
        y = 92 + 9 * math.sin(u * 2.6 * math.pi + 0.4) + 3 * math.sin(u * 7.1 * math.pi)
        # Pressed firmly throughout, so the dabs' solid cores cover the
        # meadow's edge at y = 93.
        out.append((x, y, 0.7 + 0.3 * math.sin(math.pi * u) ** 0.6))
    return out


def far_hills():
    out = []
    for i in range(41):
        u = i / 40
        x = 330 - 340 * u
        y = 122 + 10 * math.sin(u * 3.3 * math.pi + 1.7)
        out.append((x, y, 0.6 + 0.4 * swell(u)))
    return out


def sun():
    # A spiral inwards fills the disc.
    out = []
    for i in range(60):
        u = i / 59
        a = u * 5.5 * math.pi
        r = 13 * (1 - u)
        out.append((252 + r * math.cos(a), 188 + r * math.sin(a), 1.0))
    return out


def clouds():
    out = []
    for i in range(36):
        u = i / 35
        x = 40 + 150 * u
        y = 196 + 7 * math.sin(u * 4 * math.pi) + 4 * u
        out.append((x, y, swell(u)))
    return out


def birds():
    # Two gulls in one stroke, the pen tilted to the right.
    out = []
    for cx, cy, w in ((110, 168, 14), (140, 176, 10)):
        for i in range(17):
            u = i / 16
            x = cx - w + 2 * w * u
            y = cy - 0.45 * w * abs(math.sin(u * 2 * math.pi))
            out.append((x, y, 0.35 + 0.65 * math.sin(math.pi * u), 30.0, 10.0))
    return out


def grass():
    out = []
    for i in range(81):
        u = i / 80
        x = 8 + 304 * u
        blade = 10 + 8 * math.sin(u * 23.0) ** 2
        y = 18 + (blade if i % 2 else 0)
        out.append((x, y, 0.4 + 0.6 * (i % 2)))
    return out


def fence():
    out = []
    for i in range(25):
        u = i / 24
        out.append((20 + 280 * u, 52 + 3 * math.sin(u * math.pi), 0.9))
    return out


write("hills.pen", "the near hills: one long swell from left to right", hills())
write("far-hills.pen", "the far hills, drawn back from right to left", far_hills())
write("sun.pen", "the sun: a spiral that fills a disc", sun())
write("clouds.pen", "a cloud bank, pressed hardest in the middle", clouds())
write("birds.pen", "two gulls, pen tilted", birds())
write("grass.pen", "grass: a zigzag of quick upward flicks", grass())
write("fence.pen", "a fence rail across the meadow", fence())
