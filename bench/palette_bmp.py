#!/usr/bin/python3
"""Writes an 8-bit palette BMP for every uncompressed 24-bit BMP of SOURCE into TARGET.

usage: palette_bmp.py SOURCE TARGET

A pixel keeps its green level; the palette is grey in falling order, so that a reader must
look each index up to get the level back. Existing files in TARGET are left alone.
"""
import os
import struct
import sys

import numpy as np


def read_green(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: {bits}-bit BMP with compression {compression}; "
                         "only uncompressed 24-bit is converted")
    stride = (width * 3 + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    return rows[:, 1:width * 3:3], height   # stored order, bottom up for a positive height


def write_palette_bmp(path, green, height):
    rows, width = green.shape
    stride = (width + 3) // 4 * 4
    pixels = np.zeros((rows, stride), np.uint8)
    pixels[:, :width] = 255 - green
    level = (255 - np.arange(256, dtype=np.uint8))
    palette = np.stack([level, level, level, np.zeros(256, np.uint8)], axis=1).tobytes()
    offset = 14 + 40 + len(palette)
    size = offset + pixels.nbytes
    header = struct.pack("<2sIHHI", b"BM", size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, pixels.nbytes, 2835, 2835,
                       256, 0)
    # Written under a temporary name first: an interrupted run leaves no half file behind.
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(header + info + palette + pixels.tobytes())
    os.link(temporary, path)   # fails rather than replace a file that appeared meanwhile
    os.unlink(temporary)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[2])
    source, target = sys.argv[1], sys.argv[2]
    os.makedirs(target, exist_ok=True)
    for name in sorted(os.listdir(source)):
        out = os.path.join(target, name)
        if not name.lower().endswith(".bmp") or os.path.exists(out):
            continue
        green, height = read_green(os.path.join(source, name))
        write_palette_bmp(out, green, height)


if __name__ == "__main__":
    main()
