#!/usr/bin/python3
"""The batch rectification as a user would script it with OpenCV: read the
photograph, map the four corners onto a rectangle of the real aspect
(getPerspectiveTransform), resample with nearest neighbour (warpPerspective)
and write a JPEG at quality 90. The rectangle's size follows the same rule as
Fassadenplan's: the corners' bounding box, widened or heightened to the real
aspect.

usage: rectify_batch.py photo x0 y0 x1 y1 x2 y2 x3 y3 output width_cm height_cm
"""
import sys

import cv2
import numpy as np


def target_size(corners, real_w, real_h):
    xs = [p[0] for p in corners]
    ys = [p[1] for p in corners]
    bw = max(xs) - min(xs) + 1
    bh = max(ys) - min(ys) + 1
    w = bw
    h = round(real_h * w / real_w)
    if h < bh:
        h = bh
        w = round(real_w * h / real_h)
    return int(w), int(h)


def main(argv):
    if len(argv) != 13:
        sys.stderr.write(__doc__)
        return 1
    photo, out = argv[1], argv[10]
    values = [float(v) for v in argv[2:10]]
    corners = [(values[k], values[k + 1]) for k in range(0, 8, 2)]
    real_w, real_h = float(argv[11]), float(argv[12])

    image = cv2.imread(photo, cv2.IMREAD_COLOR)
    if image is None:
        sys.stderr.write("cannot read %s\n" % photo)
        return 3
    w, h = target_size(corners, real_w, real_h)
    source = np.float32(corners)
    target = np.float32([(0, 0), (w, 0), (w, h), (0, h)])
    homography = cv2.getPerspectiveTransform(source, target)
    result = cv2.warpPerspective(image, homography, (w, h), flags=cv2.INTER_NEAREST)
    if not cv2.imwrite(out, result, [cv2.IMWRITE_JPEG_QUALITY, 90]):
        sys.stderr.write("cannot write %s\n" % out)
        return 6
    print("Rectified image written to %s (%d x %d pixels)" % (out, w, h))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
