#!/usr/bin/env python3
"""One page of figures: every comparison with a peer from the benchmark runs.

Reads the Google Benchmark JSON files that `make bench` writes (one per bench
binary) and prints a table: the comparison, our figure, the peer's, the
ratio (above 1: we are faster) and the bar it has to reach, then the CPU and
the date. With --markdown the table is written as Markdown, as the README's
Performance section shows it.

A benchmark is a comparison when it has a "ratio" counter (or the scaler's
"vs_pixman"). Our figure is its counter named ours_* (or "Mpix/s"); the
peer's is the first counter named for the peer (peer_*, pixman_*, cairo_*,
memcpy_*, file_*, copied_*). The bars below are the ones the engine is held
to; a comparison without one is listed with "-".
"""

import argparse
import glob
import json
import os
import re
import sys

# (name pattern, what is compared, peer, bar)
COMPARISONS = [
    (r"BM_OverVsPixman/2048", "over row, 2048^2", "pixman OVER", 1.0),
    (r"BM_OverVsPixman/(\d+)", "over row, {0}^2", "pixman OVER", None),
    (r"BM_BrushVsPixmanSolidMask/2048", "brush row, 2048^2", "pixman solid+a8", 1.0),
    (r"BM_BrushVsPixmanSolidMask/(\d+)", "brush row, {0}^2", "pixman solid+a8", None),
    (r"BM_CopyVsMemcpy/2048", "copy row, 2048^2", "memcpy", 0.8),
    (r"BM_CopyVsMemcpy/(\d+)", "copy row, {0}^2", "memcpy", None),
    (r"BM_PainterOverVsPixman", "painter over, 2048^2", "pixman OVER", 1.0),
    (r"BM_PainterBrushVsPixmanSolidMask", "painter brush blend", "pixman solid+a8", 1.3),
    (r"BM_PainterDabsVsPixmanSolidMask/(\d+)", "painter dabs {0} px", "pixman solid+a8", None),
    (r"BM_PainterCopyVsMemcpy", "painter copy", "memcpy", 0.8),
    (r"BM_PainterSharedCopyVsMemcpy", "painter shared copy", "memcpy", None),
    (r"BM_WholePageWrite2048", "whole-page tile write", "memcpy", 0.7),
    (r"BM_WholePageRead2048", "whole-page tile read", "memcpy", 0.7),
    (r"BM_AlignedCopySharesPages4096", "aligned copy shares pages", "copied pages", None),
    (r"BM_SwapOutAndIn256MB", "swap 256 MB, 8 MB budget", "plain file", 0.5),
    (r"BM_Bilinear2xVsPixman/1024", "bilinear 2x, 1024^2", "pixman bilinear", 1.0),
    (r"BM_Bilinear2xVsPixman/(\d+)", "bilinear 2x, {0}^2", "pixman bilinear", None),
    (r"BM_FullRecompositeVsPixman", "recomposite 8 layers", "pixman OVER chain", 1.3),
    (r"BM_FullRefreshFromCacheVsPixman", "refresh from cache", "pixman OVER chain", None),
    (r"BM_BlurVsOpenCV/(\d+)", "blur r={0}", "OpenCV GaussianBlur", 1.0),
    (r"BM_LayerBlurVsOpenCV/(\d+)", "layer blur r={0}", "OpenCV GaussianBlur", 1.0),
    (r"BM_SharpenVsOpenCVUnsharp", "sharpen r=3", "OpenCV unsharp", 1.0),
    (r"BM_RandomDabsVsMyPaint/8\b", "random dabs r=8", "libmypaint", 2.0),
    (r"BM_RandomDabsVsMyPaint/32\b", "random dabs r=32", "libmypaint", 3.0),
    (r"BM_RandomDabsVsMyPaint/128\b", "random dabs r=128", "libmypaint", 2.0),
    (r"BM_PressureStrokeVsMyPaint/(\d+)", "pressure stroke r={0}", "libmypaint", 1.5),
    (r"BM_StrokeEndToEndVsMyPaint/74\b", "stroke end to end r=7.4", "libmypaint", 1.5),
    (r"BM_StrokeEndToEndVsMyPaint/320\b", "stroke end to end r=32", "libmypaint", 1.5),
    (r"BM_FloodFillCommand/maze:0", "flood fill disc", "OpenCV floodFill", 1.0),
    (r"BM_FloodFillCommand/maze:1", "flood fill maze", "OpenCV floodFill", 1.0),
    (r"BM_FloodFillSearch/maze:0", "flood search alone, disc", "OpenCV floodFill", None),
    (r"BM_FloodFillSearch/maze:1", "flood search alone, maze", "OpenCV floodFill", None),
    (r"BM_FillMask/star:0", "fill circle d=1000", "cairo A8", 1.0),
    (r"BM_FillMask/star:1", "fill star 200 vertices", "cairo A8", 1.0),
]

OURS_KEYS = re.compile(r"^(ours_|shared_).*(?<!dabs)$|^Mpix/s$")
PEER_KEYS = re.compile(r"^(peer_|pixman_|cairo_|memcpy_|file_|copied_).*(?<!dabs)$")


def figure(bench, keys):
    for k, v in bench.items():
        if keys.match(k) and isinstance(v, (int, float)):
            unit = k.split("_", 1)[1] if "_" in k else k
            return v, unit.replace("_", "/")
    return None, ""


def load(folder):
    """Benchmarks by name (the aggregate "median" when repetitions ran) and
    the context of the first file."""
    runs, context, loads = {}, {}, []
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError) as e:
            print(f"summary: skipping {path}: {e}", file=sys.stderr)
            continue
        context = context or data.get("context", {})
        loads.extend(data.get("context", {}).get("load_avg", [])[:1])
        for b in data.get("benchmarks", []):
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            name = b.get("run_name", b["name"])
            runs[name] = b
    context = dict(context, load_range=(min(loads), max(loads)) if loads else None)
    return runs, context


def rows(runs):
    out = []
    for name, b in runs.items():
        ratio = b.get("ratio", b.get("vs_pixman"))
        if ratio is None:
            continue
        what, peer, bar = name, "?", None
        for pattern, title, p, target in COMPARISONS:
            m = re.search(pattern, name)
            if m:
                what, peer, bar = title.format(*m.groups()), p, target
                break
        ours, unit = figure(b, OURS_KEYS)
        theirs, _ = figure(b, PEER_KEYS)
        out.append((what, peer, ours, theirs, unit, ratio, bar, b.get("label", "")))
    return out


def fmt(v):
    if v is None:
        return "-"
    return f"{v:.3g}" if abs(v) < 100 else f"{v:.0f}"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("folder", help="folder of the bench JSON files")
    ap.add_argument("--markdown", action="store_true", help="write a Markdown table")
    args = ap.parse_args()
    runs, ctx = load(args.folder)
    table = rows(runs)
    if not table:
        print(f"summary: no comparisons found in {args.folder}", file=sys.stderr)
        return 1
    head = ("comparison", "peer", "ours", "peer's", "unit", "ratio", "bar", "")
    lines = []
    for what, peer, ours, theirs, unit, ratio, bar, _ in table:
        verdict = "" if bar is None else ("met" if ratio >= bar else "BELOW")
        lines.append((what, peer, fmt(ours), fmt(theirs), unit, f"{ratio:.2f}x",
                      "-" if bar is None else f"{bar:g}x", verdict))
    cpu = f"{ctx.get('num_cpus', '?')} x {ctx.get('mhz_per_cpu', '?')} MHz"
    model = cpu_model()
    lr = ctx.get("load_range")
    loads = f"{lr[0]:.1f} to {lr[1]:.1f}" if lr else "?"
    footer = (f"CPU: {model} ({cpu}); run {ctx.get('date', '?')}; "
              f"load average (1 min) at the start of each bench binary: {loads}")
    if args.markdown:
        print("| " + " | ".join(head[:-1]) + " | |")
        print("|" + "---|" * len(head))
        for l in lines:
            print("| " + " | ".join(l) + " |")
        print()
        print(footer)
    else:
        widths = [max(len(str(r[i])) for r in lines + [head]) for i in range(len(head))]
        for r in [head] + lines:
            print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
        print(footer)
    return 0


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


if __name__ == "__main__":
    sys.exit(main())
