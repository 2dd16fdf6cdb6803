#!/usr/bin/python3
"""The SER and float FITS frames of bench/ratio, made from the demo's 16-bit FITS and 24-bit
BMP frames of the same scenes (a banded planet under changing seeing, with noise).

usage: ratio_frames.py KIND FITS_DIR BMP_DIR TARGET
       ratio_frames.py ser16-1080 FITS_DIR COUNT TARGET

KIND        what TARGET becomes
ser8        one SER video, 8-bit mono (the BMPs' green)
ser16       one SER video, 16-bit mono (the FITS values)
ser8c       one SER video, 8-bit colour, colour ID 100 (RGB)
ser16c      one SER video, 16-bit colour, colour ID 101 (BGR): green the FITS values, red and
            blue in the BMP's proportions to green
float-fits  a folder of 32-bit float FITS (BITPIX -32), the FITS values over 65535 (0..1)
ser16-1080  one SER video of COUNT 16-bit mono frames of 1920 x 1080: each FITS frame in
            turn amid a sky of the same level and noise, as a planet in a large sensor's field

16-bit SER samples are little-endian with the byte-order flag 0, as real captures have them;
every video ends in a trailer of capture times. The frames are taken in name order.
"""
import os
import struct
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from evidence_frames import float_fits_bytes  # noqa: E402
from palette_bmp import read_green  # noqa: E402


def read_fits16(path):
    """The physical values of a 16-bit FITS image, rows in file order."""
    with open(path, "rb") as f:
        data = f.read()
    cards, end = {}, None
    for at in range(0, len(data) - 79, 80):
        key = data[at:at + 8].decode("ascii").strip()
        if key == "END":
            end = at
            break
        if data[at + 8:at + 10] == b"= ":
            cards[key] = data[at + 10:at + 80].decode("ascii").split("/")[0].strip()
    if end is None or cards.get("BITPIX") != "16" or cards.get("NAXIS") != "2":
        raise ValueError(f"{path}: not a 16-bit FITS image of one plane")
    width, height = int(cards["NAXIS1"]), int(cards["NAXIS2"])
    offset = (end // 2880 + 1) * 2880
    stored = np.frombuffer(data, ">i2", width * height, offset).reshape(height, width)
    values = stored.astype(np.int64) + int(float(cards.get("BZERO", "0")))
    if float(cards.get("BSCALE", "1")) != 1 or values.min() < 0 or values.max() > 65535:
        raise ValueError(f"{path}: values outside 0..65535")
    return values.astype(np.uint16)


def read_bgr(path):
    """A 24-bit BMP's pixels, blue-green-red, top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if data[:2] != b"BM" or bits != 24 or compression != 0:
        raise ValueError(f"{path}: not an uncompressed 24-bit BMP")
    stride = (width * 3 + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    bgr = rows[:, :width * 3].reshape(abs(height), width, 3)
    return bgr[::-1] if height > 0 else bgr


def ser_header(colour, width, height, bits, count):
    head = b"LUCAM-RECORDER" + struct.pack("<7i", 0, colour, 0, width, height, bits, count)
    head += b"FrameSifter bench".ljust(40, b"\0") + b"\0" * 80 + struct.pack("<qq", 0, 0)
    assert len(head) == 178
    return head


def colour16(values, bgr):
    """16-bit BGR: green the 16-bit values, red and blue in the 8-bit pixel's proportions."""
    green = bgr[..., 1].astype(np.float64) + 0.5
    out = np.empty(values.shape + (3,), np.float64)
    for c in range(3):
        out[..., c] = values * ((bgr[..., c] + 0.5) / green)
    return np.clip(np.rint(out), 0, 65535).astype("<u2")


def frame_of(kind, fits_path, bmp_path):
    if kind == "ser8":
        green, height = read_green(bmp_path)
        return green[::-1] if height > 0 else green
    if kind == "ser16":
        return read_fits16(fits_path).astype("<u2")
    if kind == "ser8c":
        return np.ascontiguousarray(read_bgr(bmp_path)[..., ::-1])
    return colour16(read_fits16(fits_path), read_bgr(bmp_path))


def write_1080(fits, count, target):
    """COUNT frames of 1920 x 1080, the FITS frames in turn in their middle."""
    width, height = 1920, 1080
    rng = np.random.default_rng(1080)
    with open(target, "xb") as f:
        f.write(ser_header(0, width, height, 16, count))
        for i in range(count):
            inner = read_fits16(fits[i % len(fits)])
            h, w = inner.shape
            # The demo's sky: its level, and its noise at that level.
            sky = float(np.median(inner[:8]))
            spread = float(np.std(inner[:8].astype(np.float64)))
            frame = sky + spread * rng.standard_normal((height, width), dtype=np.float32)
            frame = np.clip(np.rint(frame), 0, 65535).astype("<u2")
            y0, x0 = (height - h) // 2, (width - w) // 2
            frame[y0:y0 + h, x0:x0 + w] = inner
            f.write(frame.tobytes())
        f.write((np.arange(count, dtype="<i8") * 100000).tobytes())


def main(argv):
    if len(argv) == 5 and argv[1] == "ser16-1080":
        fits_dir, count, target = argv[2:]
        fits = sorted(os.path.join(fits_dir, n) for n in os.listdir(fits_dir)
                      if n.endswith(".fit"))
        if not fits or not count.isdigit() or int(count) < 1:
            sys.exit(__doc__)
        write_1080(fits, int(count), target)
        return
    if len(argv) != 5 or argv[1] not in ("ser8", "ser16", "ser8c", "ser16c", "float-fits"):
        sys.exit(__doc__)
    kind, fits_dir, bmp_dir, target = argv[1:]
    fits = sorted(os.path.join(fits_dir, n) for n in os.listdir(fits_dir) if n.endswith(".fit"))
    bmps = sorted(os.path.join(bmp_dir, n) for n in os.listdir(bmp_dir) if n.endswith(".bmp"))
    if not fits or len(fits) != len(bmps):
        sys.exit(f"ratio_frames.py: {len(fits)} FITS and {len(bmps)} BMP frames; "
                 "the same number, at least one, are needed")
    if kind == "float-fits":
        os.makedirs(target, exist_ok=True)
        for path in fits:
            out = os.path.join(target, os.path.basename(path))
            if not os.path.exists(out):
                with open(out, "wb") as f:
                    f.write(float_fits_bytes(read_fits16(path), 65535))
        return
    first = frame_of(kind, fits[0], bmps[0])
    height, width = first.shape[:2]
    colour = {"ser8c": 100, "ser16c": 101}.get(kind, 0)
    bits = 16 if first.dtype.itemsize == 2 else 8
    with open(target, "xb") as f:
        f.write(ser_header(colour, width, height, bits, len(fits)))
        for fits_path, bmp_path in zip(fits, bmps):
            frame = frame_of(kind, fits_path, bmp_path)
            if frame.shape != first.shape:
                sys.exit(f"ratio_frames.py: {fits_path}: another size than the first frame")
            f.write(frame.tobytes())
        # Capture times 1/100 s apart, in 100 ns ticks.
        f.write((np.arange(len(fits), dtype="<i8") * 100000).tobytes())


if __name__ == "__main__":
    main(sys.argv)
