#!/usr/bin/python3
"""Writes the seed files of fuzz/corpus/<target>/.

The seeds are committed as plain files; this script only documents and
re-creates them. Run from anywhere: python3 fuzz/make_seeds.py
Needs python3-pil (listed by scripts/install-deps.sh).
"""

import io
import os
import shutil
import struct
import sys

from PIL import Image, TiffImagePlugin

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def pattern(w, h, mode="RGB"):
    img = Image.new("RGB", (w, h))
    img.putdata([((x * 37) & 255, (y * 53) & 255, ((x ^ y) * 11) & 255) for y in range(h) for x in range(w)])
    return img.convert(mode) if mode != "RGB" else img


def encoded(img, fmt, **kw):
    out = io.BytesIO()
    img.save(out, fmt, **kw)
    return out.getvalue()


# ---- image: first byte picks the decoder (0 JPEG, 1 PNG, 2 GIF, 3 BMP, 4 TIFF; +0x80 from a file)
def image_seeds():
    small = pattern(13, 7)
    seeds = {
        "jpeg-rgb": (0, encoded(small, "JPEG", quality=80)),
        "jpeg-grey": (0, encoded(small.convert("L"), "JPEG")),
        "jpeg-progressive": (0, encoded(pattern(16, 16), "JPEG", progressive=True)),
        "png-rgb": (1, encoded(small, "PNG")),
        "png-rgba": (1, encoded(small.convert("RGBA"), "PNG")),
        "png-palette": (1, encoded(small.convert("P"), "PNG")),
        "png-grey": (1, encoded(small.convert("L"), "PNG")),
        "png-optimized": (1, encoded(small, "PNG", optimize=True)),
        "gif": (2, encoded(small.convert("P"), "GIF")),
        "gif-transparent": (2, encoded(small.convert("P"), "GIF", transparency=3)),
        "bmp-24": (3, encoded(small, "BMP")),
        "bmp-8": (3, encoded(small.convert("P"), "BMP")),
        "bmp-1": (3, encoded(small.convert("1"), "BMP")),
        "tiff-raw": (4, encoded(small, "TIFF")),
        "tiff-lzw": (4, encoded(small, "TIFF", compression="tiff_lzw")),
        "tiff-deflate": (4, encoded(small, "TIFF", compression="tiff_adobe_deflate")),
        "tiff-packbits": (4, encoded(small.convert("L"), "TIFF", compression="packbits")),
        "tiff-palette": (4, encoded(small.convert("P"), "TIFF")),
    }
    for name, (selector, data) in seeds.items():
        put("image", name, bytes([selector]) + data)
    # Bit 7 of the selector: decoded from a mapped file, as map images are.
    for name in ("jpeg-rgb", "bmp-8", "tiff-lzw"):
        selector, data = seeds[name]
        put("image", name + "-file", bytes([0x80 | selector]) + data)
    # A tiny header that claims a huge image, for each format's size check.
    bmp = bytearray(encoded(pattern(2, 2), "BMP"))
    struct.pack_into("<ii", bmp, 18, 100000, 100000)
    put("image", "bmp-claims-huge", bytes([3]) + bytes(bmp))
    png = bytearray(encoded(pattern(2, 2), "PNG"))
    struct.pack_into(">II", png, 16, 100000, 100000)
    put("image", "png-claims-huge", bytes([1]) + bytes(png))


# ---- package: the same bytes are read as .qvm and as .qvo
def header(lat_deg, lat_min, lon_deg, lon_min, level, count):
    return struct.pack(">BBBBBI", lat_deg, lat_min, lon_deg, lon_min, level, count)


def package_seeds():
    tile_jpeg = encoded(pattern(8, 8), "JPEG", quality=50)
    tile_png = encoded(pattern(8, 8), "PNG")
    tiles = [(1237, 640, 12, tile_jpeg), (1238, 640, 12, tile_png), (618, 320, 11, b"\x00\x01\x02")]
    internal = header(55, 45, 37, 36, 12, len(tiles))
    for x, y, level, data in tiles:
        internal += struct.pack(">iiiBI", x, y, level, 2, len(data)) + data
    put("package", "internal-3-tiles", internal)
    external = header(55, 45, 37, 36, 12, len(tiles))
    offset = 0
    for x, y, level, data in tiles:
        external += struct.pack(">iiiBII", x, y, level, 2, len(data), offset)
        offset += len(data)
    external += b"".join(t[3] for t in tiles)
    put("package", "external-3-tiles", external)
    put("package", "empty-package", header(0, 0, 0, 0, 1, 0))
    put("package", "southern-centre", header(0xDF, 0xE2, 0xB6, 0x10, 3, 0))


# ---- plan: little-endian count, then size + 296-byte records
def region(top, left, bottom, right, level, mt, caption):
    rec = bytearray(296)
    struct.pack_into("<ddddiB", rec, 0, top, left, bottom, right, level, mt)
    rec[40] = len(caption)
    rec[41:41 + len(caption)] = caption
    return bytes(rec)


def plan_seeds():
    regions = [region(55.8, 37.5, 55.7, 37.7, 14, 2, b"Moscow centre"),
               region(60.0, 30.0, 59.8, 30.5, 12, 22, "\u041f\u0438\u0442\u0435\u0440".encode("cp1251"))]
    plan = struct.pack("<i", len(regions))
    for r in regions:
        plan += struct.pack("<i", len(r)) + r
    put("plan", "two-regions", plan)
    put("plan", "short-record", struct.pack("<i", 1) + struct.pack("<i", 44) + regions[0][:44])
    put("plan", "empty", struct.pack("<i", 0))


def copy_tree(src_dir, target, names=None, prefix=b""):
    for name in sorted(os.listdir(src_dir)):
        if names is not None and not any(name.endswith(n) for n in names):
            continue
        with open(os.path.join(src_dir, name), "rb") as f:
            put(target, name, prefix + f.read())


def calibration_seeds():
    copy_tree(os.path.join(ROOT, "tests", "data", "maps"), "calibration", names=[".map"])
    copy_tree(os.path.join(ROOT, "examples"), "calibration", names=[".map"])
    with open(os.path.join(ROOT, "tests", "data", "maps", "synth_1200x900.map"), "rb") as f:
        text = f.read()
    put("calibration", "pulkovo-lf", text.replace(b"WGS 84,WGS 84", b"Pulkovo 1942 (1),WGS 84").replace(b"\r\n", b"\n"))


def maps_ini_seeds():
    put("maps_ini", "all-keys", "[a]\nName=My map\nMT=21\nCachePath=X\\Y\\\nURL=127.0.0.1:8080/t/\n"
        "UserAgent=Tester/1.0\nBulk=0\n")
    put("maps_ini", "sources", "; maps\n[ve]\nMT=5\nCachePath=VE\\SUR\\\nURL=ecn.t.tiles.virtualearth.net/tiles/a\n"
        "[vem]\nMT=6\nURL=ecn.t.tiles.virtualearth.net/tiles/r\n[g]\nMT=1\nURL=khm.google.com/kh/v=1&\n"
        "[gm]\nMT=2\nURL=mt.google.com/vt/lyrs=m&\n[osm]\nMT=21\nURL=tile.openstreetmap.org/\n"
        "[gurtam]\nMT=26\nURL=maps.gurtam.by/map/gurtamgis_merc/\n[custom]\nMT=9\nURL=\n")
    put("maps_ini", "windows-bom-1251", b"\xEF\xBB\xBF; maps\r\n[ s ]\r\n  mt = 6 \r\n# note\r\nname=N=1\r\n"
        b"[b]\r\nName=\xCA\xE0\xF0\xF2\xE0\r\nMT=$16\r\n[A]\r\nMT=261\r\n")


def nmea_seeds():
    # First byte seeds the chunk sizes; the logs follow unchanged.
    for i, name in enumerate(sorted(n for n in os.listdir(os.path.join(ROOT, "tests", "data", "nmea"))
                                    if n.endswith(".log"))):
        with open(os.path.join(ROOT, "tests", "data", "nmea", name), "rb") as f:
            put("nmea", name, bytes([i * 7]) + f.read())
    put("nmea", "long-line", b"\x03" + b"$GPGGA," + b"9" * 1100 + b"\n$GPRMC,1,A,4404.1306,N,12118.8515,W,10.5,225.97,"
        b"130415,,,D*00\n")


def text_seeds():
    put("text", "vl-line", "VL,Ivan,55.751244,37.618423,0,12.5,270,1234567890123,17,12:00:01,42")
    put("text", "vl-response", "VL,a,1,2,3,4,5,6,7,t,8\nVL,b,-1.5,-2.5,0,99.5,-10,0,9,x,10\r\nXX,bad\n,,,\n")
    put("text", "version-file", " 1234\r\nnotes\n")
    put("text", "file-version", "1.0.0.17")


# ---- geotiff: PIL writes the GeoTIFF tags as plain TIFF tags
GEOKEYS = 34735
GEODOUBLES = 34736
PIXELSCALE = 33550
TIEPOINT = 33922


def geotiff(keys, doubles=(), size=(8, 6), origin=(3000000.0, 7000000.0), scale=(100.0, 100.0)):
    directory = [1, 1, 0, len(keys)]
    for key, value in keys:
        if isinstance(value, float):
            directory += [key, GEODOUBLES, 1, len(doubles)]
            doubles = tuple(doubles) + (value,)
        else:
            directory += [key, 0, 1, value]
    ifd = TiffImagePlugin.ImageFileDirectory_v2()
    ifd[GEOKEYS] = tuple(directory)
    ifd.tagtype[GEOKEYS] = 3
    ifd[PIXELSCALE] = (scale[0], scale[1], 0.0)
    ifd.tagtype[PIXELSCALE] = 12
    ifd[TIEPOINT] = (0.0, 0.0, 0.0, origin[0], origin[1], 0.0)
    ifd.tagtype[TIEPOINT] = 12
    if doubles:
        ifd[GEODOUBLES] = tuple(doubles)
        ifd.tagtype[GEODOUBLES] = 12
    out = io.BytesIO()
    pattern(*size).save(out, "TIFF", tiffinfo=ifd)
    return out.getvalue()


def geotiff_seeds():
    user_mercator = lambda gcs: [(1024, 1), (1025, 1), (2048, gcs), (3072, 32767), (3074, 32767), (3075, 7),
                                 (3076, 9001), (3088, 0.0), (3092, 1.0), (3082, 0.0), (3083, 0.0)]
    put("geotiff", "mercator-wgs84.tif", geotiff(user_mercator(4326)))
    put("geotiff", "mercator-pulkovo.tif", geotiff(user_mercator(4284)))
    put("geotiff", "web-mercator-3857.tif", geotiff([(1024, 1), (1025, 1), (3072, 3857)]))
    put("geotiff", "world-mercator-3395.tif", geotiff([(1024, 1), (1025, 2), (3072, 3395)]))
    put("geotiff", "utm-32637.tif", geotiff([(1024, 1), (1025, 1), (3072, 32637)], origin=(400000.0, 6200000.0)))
    put("geotiff", "geographic-4326.tif", geotiff([(1024, 2), (1025, 1), (2048, 4326)], origin=(37.0, 56.0),
                                                  scale=(0.001, 0.001)))
    out = io.BytesIO()
    pattern(8, 6).save(out, "TIFF")
    put("geotiff", "plain.tif", out.getvalue())


def main():
    for target in ("image", "package", "plan", "calibration", "maps_ini", "nmea", "text", "geotiff"):
        folder = os.path.join(CORPUS, target)
        # Keep regression inputs; re-create the seeds.
        if os.path.isdir(folder):
            for name in os.listdir(folder):
                if not name.startswith("regress-"):
                    os.remove(os.path.join(folder, name))
    image_seeds()
    package_seeds()
    plan_seeds()
    calibration_seeds()
    maps_ini_seeds()
    nmea_seeds()
    text_seeds()
    geotiff_seeds()
    return 0


if __name__ == "__main__":
    sys.exit(main())
