#!/usr/bin/python3
"""A manifest of photographs rectified as a user would script it with OpenCV:
the rows of the CSV (photo,x0,y0,x1,y1,x2,y2,x3,y3,output,width,height; paths
relative to the manifest's folder) on a multiprocessing.Pool of WORKERS
processes, each row done as rectify_batch.py does one photograph (imread,
getPerspectiveTransform, warpPerspective with nearest neighbour, imwrite at
JPEG quality 90).

usage: rectify_manifest.py MANIFEST.csv WORKERS
"""
import csv
import multiprocessing
import os
import sys

import rectify_batch


def run_row(args):
    return rectify_batch.main(args)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 1
    manifest, workers = argv[1], int(argv[2])
    folder = os.path.dirname(os.path.abspath(manifest))
    jobs = []
    with open(manifest, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            corners = [row[c] for c in ("x0", "y0", "x1", "y1", "x2", "y2", "x3", "y3")]
            jobs.append(["rectify_batch.py", os.path.join(folder, row["photo"])] + corners +
                        [os.path.join(folder, row["output"]), row["width"], row["height"]])
    with multiprocessing.Pool(workers) as pool:
        codes = pool.map(run_row, jobs, chunksize=1)
    return 8 if any(codes) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
