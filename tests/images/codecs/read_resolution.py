#!/usr/bin/python3
"""Reads the resolution of a picture file the way other programs do and
prints it as one JSON object:
  exif:    XResolution, YResolution, ResolutionUnit of the EXIF or TIFF
           directory, as exiftool reads them (absent without exiftool)
  jfif:    the JFIF density and its unit, as exiftool reads them
  jp2:     the JPEG 2000 capture and display resolution (exiftool)
  pillow:  Image.info["dpi"] as Pillow reads it (absent without Pillow)
  img2pdf: the page size in points of the PDF img2pdf makes of it, read back
           by pdfinfo (absent without img2pdf or pdfinfo)
Usage: read_resolution.py FILE
"""
import json
import re
import shutil
import subprocess
import sys
import tempfile

path = sys.argv[1]
out = {}

if shutil.which("exiftool"):
    tags = subprocess.run(
        ["exiftool", "-j", "-n", "-G1", path], capture_output=True, text=True, check=True
    )
    info = json.loads(tags.stdout)[0]
    for group, key in (("IFD0", "exif"), ("JFIF", "jfif")):
        fields = {
            name: info.get(f"{group}:{name}")
            for name in ("XResolution", "YResolution", "ResolutionUnit")
        }
        if fields["XResolution"] is not None:
            out[key] = fields
    jp2 = {
        k.split(":", 1)[1]: v
        for k, v in info.items()
        if k.startswith("Jpeg2000:") and "Resolution" in k
    }
    if jp2:
        out["jp2"] = jp2
    out["exif_tags"] = sorted(k for k in info if k.startswith(("IFD0:", "ExifIFD:", "GPS:")))

try:
    from PIL import Image

    with Image.open(path) as im:
        dpi = im.info.get("dpi")
        out["pillow"] = list(map(float, dpi)) if dpi else None
except ImportError:
    pass

if shutil.which("img2pdf") and shutil.which("pdfinfo"):
    with tempfile.TemporaryDirectory() as tmp:
        pdf = f"{tmp}/page.pdf"
        made = subprocess.run(["img2pdf", "-o", pdf, path], capture_output=True, text=True)
        if made.returncode == 0:
            text = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
            m = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", text)
            if m:
                out["img2pdf"] = [float(m.group(1)), float(m.group(2))]
        else:
            out["img2pdf_error"] = made.stderr.strip()

print(json.dumps(out))
