#!/usr/bin/python3
"""The frame selection written the straightforward way with numpy: the yardstick that
bench/compare measures the program against.

    numpy_select.py [--peak] [--astropy] FILE.fit...

Prints file,score,passed like `framesifter-cli select` (band 25..50, level 5)."""
import sys

import numpy as np

N = 256
LOW, HIGH, LEVEL = 25, 50, 5


def read_fits(path):
    """16-bit FITS by hand: header cards up to END, then big-endian words."""
    with open(path, "rb") as f:
        data = f.read()
    cards, pos = {}, 0
    while True:
        card = data[pos:pos + 80].decode("ascii")
        pos += 80
        if card.rstrip() == "END":
            break
        if card[8:10] == "= ":
            cards[card[:8].strip()] = card[10:].split("/")[0].strip()
    start = (pos + 2879) // 2880 * 2880
    w, h = int(cards["NAXIS1"]), int(cards["NAXIS2"])
    raw = np.frombuffer(data, dtype=">u2", count=w * h, offset=start).reshape(h, w)
    bzero = int(float(cards.get("BZERO", "0")))
    v = raw.astype(np.int64)
    return np.where(v < bzero, v + bzero, v - bzero)


def read_fits_astropy(path):
    from astropy.io import fits
    with fits.open(path, do_not_scale_image_data=True) as hdul:
        raw = hdul[0].data.view(np.uint16).astype(np.int64)
        bzero = int(hdul[0].header.get("BZERO", 0))
    return np.where(raw < bzero, raw + bzero, raw - bzero)


def window(img, peak):
    h, w = img.shape
    if peak:
        ys, xs = np.indices(img.shape)
        s = img.sum(dtype=np.float64)
        if s == 0:
            x0, y0 = (w - N) // 2, (h - N) // 2
        else:
            # The window is centred on the intensity centroid.
            x0 = int(float((img * xs).sum()) / s - N // 2)
            y0 = int(float((img * ys).sum()) / s - N // 2)
            x0 = min(max(x0, 0), w - N)
            y0 = min(max(y0, 0), h - N)
    else:
        x0, y0 = (w - N) // 2, (h - N) // 2
    return img[y0:y0 + N, x0:x0 + N].astype(np.float64)


def profile(win, bins):
    spectrum = np.fft.fftshift(np.fft.fft2(win * (1 + 1j))) / (N * N)
    return np.bincount(bins.ravel(), weights=np.abs(spectrum).ravel(), minlength=400)[:400]


def main(argv):
    peak = "--peak" in argv
    reader = read_fits_astropy if "--astropy" in argv else read_fits
    files = [a for a in argv if not a.startswith("--")]
    j, i = np.indices((N, N))
    bins = np.hypot(i - 127.5, j - 127.5).astype(np.int64)
    table = np.zeros((len(files), 256), dtype=np.int64)
    for k, path in enumerate(files):
        table[k] = np.trunc(profile(window(reader(path), peak), bins)[:256]).astype(np.int64)
    scores = table[:, LOW:HIGH + 1].sum(axis=1)
    threshold = ((10 - LEVEL) * scores.min() + LEVEL * scores.max()) * 0.1
    out = ["file,score,passed"]
    out += ["%s,%d,%d" % (f, s, s >= threshold) for f, s in zip(files, scores)]
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1:])
