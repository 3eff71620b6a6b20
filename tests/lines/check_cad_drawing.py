#!/usr/bin/python3
"""Reads a CAD drawing with ezdxf and prints what a CAD program would find in
it as one JSON object: the audit's errors and fixes, the version, unit and
extents of the header, the layers, every outline (layer, closed, points,
bounding box, the gap between its last and first point) and how many repeat
another, every raster image
(layer, placement, size, file), the extents of all entities and of the
outlines, the six values of the world file given as the second argument, and
the extents of the polylines of the plain drawing given as the third.
Usage: check_cad_drawing.py DRAWING [WORLD_FILE [PLAIN_DRAWING]]
"""
import json
import math
import os
import sys

import ezdxf

path = sys.argv[1]
doc = ezdxf.readfile(path)
auditor = doc.audit()
msp = doc.modelspace()
out = {
    "audit": {
        "errors": len(auditor.errors),
        "fixes": len(auditor.fixes),
        "messages": [str(e.message) for e in auditor.errors + auditor.fixes][:20],
    },
    "version": doc.dxfversion,
    "insunits": doc.header.get("$INSUNITS"),
    "measurement": doc.header.get("$MEASUREMENT"),
    "extmin": list(doc.header.get("$EXTMIN", (0, 0, 0)))[:2],
    "extmax": list(doc.header.get("$EXTMAX", (0, 0, 0)))[:2],
    "layers": sorted(layer.dxf.name for layer in doc.layers),
    "types": sorted({e.dxftype() for e in msp}),
}

lo = [math.inf, math.inf]
hi = [-math.inf, -math.inf]


def grow(x, y):
    lo[0], lo[1] = min(lo[0], x), min(lo[1], y)
    hi[0], hi[1] = max(hi[0], x), max(hi[1], y)


polylines = []
seen = set()
duplicates = 0
for p in msp.query("LWPOLYLINE"):
    pts = [(x, y) for x, y, *_ in p.get_points()]
    key = tuple((round(x, 9), round(y, 9)) for x, y in pts)
    if key in seen or tuple(reversed(key)) in seen:
        duplicates += 1
    seen.add(key)
    for x, y in pts:
        grow(x, y)
    xs = [x for x, _ in pts]
    ys = [y for _, y in pts]
    polylines.append(
        {
            "layer": p.dxf.layer,
            "closed": bool(p.closed),
            "points": len(pts),
            "bbox": [min(xs), min(ys), max(xs), max(ys)],
            "gap": math.dist(pts[0], pts[-1]),
        }
    )
out["polylines"] = polylines
out["outline_extents"] = (
    [min(p["bbox"][0] for p in polylines), min(p["bbox"][1] for p in polylines),
     max(p["bbox"][2] for p in polylines), max(p["bbox"][3] for p in polylines)]
    if polylines else None)
out["duplicate_polylines"] = duplicates

images = []
for im in msp.query("IMAGE"):
    w, h = im.dxf.image_size.x, im.dxf.image_size.y
    ins, u, v = im.dxf.insert, im.dxf.u_pixel, im.dxf.v_pixel
    for corner in (ins, ins + u * w, ins + v * h, ins + u * w + v * h):
        grow(corner.x, corner.y)
    imagedef = im.image_def
    name = imagedef.dxf.filename
    images.append(
        {
            "layer": im.dxf.layer,
            "insert": [ins.x, ins.y],
            "u": [u.x, u.y],
            "v": [v.x, v.y],
            "size": [w, h],
            "filename": name,
            "file_exists": os.path.isfile(os.path.join(os.path.dirname(path), name)),
        }
    )
out["images"] = images
out["entity_extents"] = [lo[0], lo[1], hi[0], hi[1]] if polylines or images else None

if len(sys.argv) > 2:
    with open(sys.argv[2]) as f:
        out["worldfile"] = [float(line) for line in f.read().split()]

if len(sys.argv) > 3:
    plain = ezdxf.readfile(sys.argv[3])
    pts = [v.dxf.location for p in plain.modelspace().query("POLYLINE") for v in p.vertices]
    out["plain_extents"] = (
        [min(p.x for p in pts), min(p.y for p in pts), max(p.x for p in pts), max(p.y for p in pts)]
        if pts else None)

print(json.dumps(out))
