#!/usr/bin/python3
"""Measures what a PDF's first page shows, as one JSON object:
  page_mm:    the page size in millimetres
  drawing_mm: width and height of everything not white, in millimetres
              (found at 1 pixel per mm, then measured at 10 pixels per mm)
  photo:      the share of that area in the photograph's grey (150 ... 230)
  dark:       how many pixels are darker than 120 (outlines, shapes)
Needs pdfinfo and pdftoppm (poppler-utils).
Usage: measure_page.py PDF
"""
import json
import re
import subprocess
import sys
import tempfile

pdf = sys.argv[1]


def pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    m = re.match(rb"P5\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    w, h = int(m.group(1)), int(m.group(2))
    return w, h, data[m.end():]


def render(dpi, out, crop=None):
    args = ["pdftoppm", "-f", "1", "-l", "1", "-singlefile", "-gray", "-r", str(dpi)]
    if crop:
        x, y, w, h = crop
        args += ["-x", str(x), "-y", str(y), "-W", str(w), "-H", str(h)]
    subprocess.run(args + [pdf, out], check=True)
    return pgm(out + ".pgm")


def bbox(w, h, pixels):
    xs, ys = [], []
    for y in range(h):
        row = pixels[y * w:(y + 1) * w]
        inked = [x for x, v in enumerate(row) if v < 250]
        if inked:
            xs += (inked[0], inked[-1])
            ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if ys else None


info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
size = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", info)
out = {"page_mm": [float(size.group(1)) / 72 * 25.4, float(size.group(2)) / 72 * 25.4]}
with tempfile.TemporaryDirectory() as tmp:
    w, h, px = render(25.4, f"{tmp}/low")
    box = bbox(w, h, px)
    if box:
        x0, y0, x1, y1 = box
        crop = [(x0 - 3) * 10, (y0 - 3) * 10, (x1 - x0 + 7) * 10, (y1 - y0 + 7) * 10]
        w, h, px = render(254, f"{tmp}/high", crop)
        x0, y0, x1, y1 = bbox(w, h, px)
        out["drawing_mm"] = [(x1 - x0 + 1) / 10, (y1 - y0 + 1) / 10]
        area = [px[y * w + x] for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)]
        out["photo"] = sum(1 for v in area if 150 <= v <= 230) / len(area)
        out["dark"] = sum(1 for v in area if v < 120)
print(json.dumps(out))
