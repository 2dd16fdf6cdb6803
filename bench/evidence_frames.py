"""Frame sequences with a known seeing order, built from images that Debian packages ship,
and the writers for the file kinds the program reads (16-bit FITS, 24-bit BMP, SER)."""
import struct

import numpy as np

MOON_PACKAGE = "python3-skimage (skimage.data.moon())"
PLANET_MAP = "/usr/share/xplanet/images/earth.jpg"
PLANET_PACKAGE = "xplanet-images (" + PLANET_MAP + ")"

WIDTH, HEIGHT = 640, 480
# Blur and warps work on a frame this much larger on each side, so the circular transform's
# wrap-around falls outside the written frame.
MARGIN = 32


# ---- scenes: float images in 0..1, large enough to be sampled with shifts and warps ----

def moon_scene():
    from skimage import data
    return data.moon().astype(np.float64) / 255.0


def planet_map():
    from PIL import Image
    return np.asarray(Image.open(PLANET_MAP).convert("RGB"), dtype=np.float64) / 255.0


def planet_scene(radius=95, size=256):
    """The map seen as an orthographic disc with limb darkening, RGB, on a black sky."""
    rgb = planet_map()
    mh, mw, _ = rgb.shape
    c = (size - 1) / 2.0
    y, x = np.mgrid[0:size, 0:size].astype(np.float64)
    u, v = (x - c) / radius, (c - y) / radius
    r2 = u * u + v * v
    inside = r2 < 1.0
    z = np.sqrt(np.clip(1.0 - r2, 0.0, 1.0))
    lat = np.arcsin(np.clip(v, -1, 1))
    lon = np.arctan2(u, z) + 0.6
    my = ((0.5 - lat / np.pi) * (mh - 1)).astype(int).clip(0, mh - 1)
    mx = (((lon / (2 * np.pi)) % 1.0) * (mw - 1)).astype(int)
    scene = rgb[my, mx] * (0.35 + 0.65 * z)[..., None]
    scene[~inside] = 0.0
    # Antialias the rim over about a pixel so the disc edge is not a staircase.
    edge = np.clip((1.0 - np.sqrt(r2)) * radius + 0.5, 0.0, 1.0)
    return scene * edge[..., None]


def sun_scene(rng, size=560, radius=215):
    """A solar disc: granulation-like cells from band-passed noise, limb darkening. No real
    white-light solar image is packaged, so this one is synthetic."""
    noise = rng.standard_normal((size, size))
    f = np.fft.fftfreq(size)
    fr = np.hypot(f[:, None], f[None, :])
    cells = np.fft.ifft2(np.fft.fft2(noise) * np.exp(-((fr - 0.14) / 0.05) ** 2)).real
    cells /= cells.std()
    granulation = 1.0 + 0.05 * np.tanh(cells)
    c = (size - 1) / 2.0
    y, x = np.mgrid[0:size, 0:size].astype(np.float64)
    r = np.hypot(x - c, y - c) / radius
    mu = np.sqrt(np.clip(1.0 - r * r, 0.0, 1.0))
    disc = (1.0 - 0.6 * (1.0 - mu)) * np.clip((1.0 - r) * radius + 0.5, 0.0, 1.0)
    # A spot or two gives the disc structure above the granulation's scale.
    for sx, sy, sr in ((0.55, 0.45, 9.0), (0.4, 0.6, 5.0)):
        d = np.hypot(x - sx * size, y - sy * size)
        disc *= 1.0 - 0.7 * np.exp(-(d / sr) ** 2)
    return np.clip(disc * granulation / 1.05, 0.0, 1.0)


# ---- degradation ----

def bilinear(img, ys, xs):
    """Samples img (H x W or H x W x C) at float coordinates, clamped to its edges."""
    h, w = img.shape[:2]
    xs = np.clip(xs, 0, w - 1.001)
    ys = np.clip(ys, 0, h - 1.001)
    x0, y0 = xs.astype(int), ys.astype(int)
    fx, fy = xs - x0, ys - y0
    if img.ndim == 3:
        fx, fy = fx[..., None], fy[..., None]
    top = img[y0, x0] * (1 - fx) + img[y0, x0 + 1] * fx
    bottom = img[y0 + 1, x0] * (1 - fx) + img[y0 + 1, x0 + 1] * fx
    return top * (1 - fy) + bottom * fy


def smooth_field(rng, h, w, amplitude, cells=(6, 8)):
    """A smooth random displacement in pixels: local warps of a turbulent atmosphere."""
    coarse = rng.standard_normal((cells[0] + 1, cells[1] + 1)) * amplitude
    ys = np.linspace(0, cells[0], h)[:, None] * np.ones((1, w))
    xs = np.ones((h, 1)) * np.linspace(0, cells[1], w)[None, :]
    return bilinear(coarse, ys, xs)


def psf_transfer(shape, width, kind):
    """The transfer function of a seeing blur: Gaussian of sigma width, or Moffat (beta 3) of
    FWHM width, both in pixels."""
    h, w = shape
    fy, fx = np.fft.fftfreq(h)[:, None], np.fft.fftfreq(w)[None, :]
    if kind == "gauss":
        return np.exp(-2.0 * np.pi ** 2 * width ** 2 * (fx * fx + fy * fy))
    beta = 3.0
    alpha = width / (2.0 * np.sqrt(2.0 ** (1.0 / beta) - 1.0))
    y = np.fft.fftfreq(h) * h
    x = np.fft.fftfreq(w) * w
    kernel = (1.0 + (y[:, None] ** 2 + x[None, :] ** 2) / alpha ** 2) ** -beta
    return np.fft.fft2(kernel / kernel.sum())


def blur(img, transfer):
    if img.ndim == 3:
        return np.stack([blur(img[..., c], transfer) for c in range(img.shape[2])], axis=-1)
    return np.fft.ifft2(np.fft.fft2(img) * transfer).real


class Sequence:
    """How one sequence is built and stored."""

    def __init__(self, name, scene, scale, centre, drift, seeing, kind, peak_e, read_e, bits,
                 colour, store, transparency=None, count=60, seed=1):
        self.name, self.scene, self.scale, self.centre = name, scene, scale, centre
        self.drift, self.seeing, self.kind = drift, seeing, kind
        self.peak_e, self.read_e, self.bits = peak_e, read_e, bits
        self.colour, self.store, self.transparency = colour, store, transparency
        self.count, self.seed = count, seed


def degrade(seq, scene, rng, width, transparency, offset):
    """One frame: shifted, warped, blurred by the seeing, dimmed, with shot and read noise,
    quantised to the sequence's sample depth. Returns the integer frame (H x W [x 3])."""
    h, w = HEIGHT + 2 * MARGIN, WIDTH + 2 * MARGIN
    y, x = np.mgrid[0:h, 0:w].astype(np.float64)
    dy = smooth_field(rng, h, w, 0.6)
    dx = smooth_field(rng, h, w, 0.6)
    cy, cx = seq.centre[0] + offset[0], seq.centre[1] + offset[1]
    sy = (y - h / 2.0 + dy) / seq.scale + cy
    sx = (x - w / 2.0 + dx) / seq.scale + cx
    frame = bilinear(scene, sy, sx)
    frame = blur(frame, psf_transfer((h, w), width, seq.kind))
    frame = np.clip(frame, 0.0, None)[MARGIN:-MARGIN, MARGIN:-MARGIN]
    electrons = rng.poisson(frame * seq.peak_e * transparency).astype(np.float64)
    electrons += rng.standard_normal(frame.shape) * seq.read_e
    top = (1 << seq.bits) - 1
    # About 90 % of the range at the scene's full light; a small bias keeps the sky above 0.
    gain = seq.peak_e / (0.9 * top)
    adu = np.rint(electrons / gain + 0.01 * top)
    return np.clip(adu, 0, top).astype(np.uint16 if seq.bits > 8 else np.uint8)


def build(seq, count=None):
    """The frames of a sequence in capture (file) order and the seeing width of each; the
    true order is the widths ascending."""
    rng = np.random.default_rng(seq.seed)
    n = count or seq.count
    scene = seq.scene(rng) if callable(seq.scene) else seq.scene
    widths = rng.permutation(np.linspace(seq.seeing[0], seq.seeing[1], n))
    if seq.transparency:
        clear = rng.uniform(seq.transparency[0], seq.transparency[1], n)
    else:
        clear = np.ones(n)
    frames = []
    for i in range(n):
        drift = seq.drift * np.array([np.sin(i * 0.37), np.cos(i * 0.23)])
        jitter = rng.normal(0.0, 2.0, 2)
        frames.append(degrade(seq, scene, rng, widths[i], clear[i], drift + jitter))
    return frames, widths, clear


# ---- writers ----

def fits_bytes(frame):
    """16-bit FITS, one plane: the cards the program's own writer uses, BZERO 32768."""
    h, w = frame.shape
    cards = [("SIMPLE", "T"), ("BITPIX", "16"), ("NAXIS", "2"), ("NAXIS1", str(w)),
             ("NAXIS2", str(h)), ("BZERO", "32768"), ("BSCALE", "1")]
    head = "".join(("%-8.8s= %20s" % c).ljust(80) for c in cards) + "END"
    head = head.ljust((len(head) + 2879) // 2880 * 2880)
    data = (frame.astype(np.uint16) ^ 0x8000).astype(">u2").tobytes()
    data += b"\0" * ((len(data) + 2879) // 2880 * 2880 - len(data))
    return head.encode("ascii") + data


def float_fits_bytes(frame, top):
    """32-bit float FITS scaled 0 to 1, as calibration programs write: BITPIX -32."""
    h, w = frame.shape
    cards = [("SIMPLE", "T"), ("BITPIX", "-32"), ("NAXIS", "2"), ("NAXIS1", str(w)),
             ("NAXIS2", str(h))]
    head = "".join(("%-8.8s= %20s" % c).ljust(80) for c in cards) + "END"
    head = head.ljust((len(head) + 2879) // 2880 * 2880)
    data = (frame.astype(np.float64) / top).astype(">f4").tobytes()
    data += b"\0" * ((len(data) + 2879) // 2880 * 2880 - len(data))
    return head.encode("ascii") + data


def bmp_bytes(frame):
    """24-bit BMP, bottom-up rows of BGR padded to 4 bytes; mono frames become grey."""
    rgb = frame if frame.ndim == 3 else np.repeat(frame[..., None], 3, axis=2)
    h, w, _ = rgb.shape
    row = (w * 3 + 3) // 4 * 4
    pixels = np.zeros((h, row), np.uint8)
    pixels[:, :w * 3] = rgb[::-1, :, ::-1].astype(np.uint8).reshape(h, w * 3)
    size = 54 + pixels.size
    head = struct.pack("<2sIHHI", b"BM", size, 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, pixels.size, 2835, 2835, 0, 0)
    return head + pixels.tobytes()


def ser_bytes(frames, bits):
    """A SER video: mono (colour 0) or RGB (colour 100), 16-bit samples little-endian with
    the byte-order flag 0, as real captures have it."""
    h, w = frames[0].shape[:2]
    colour = 100 if frames[0].ndim == 3 else 0
    head = b"LUCAM-RECORDER" + struct.pack("<7i", 0, colour, 0, w, h, bits, len(frames))
    head += b"\0" * 120 + struct.pack("<qq", 0, 0)
    assert len(head) == 178
    dtype = "<u2" if bits > 8 else np.uint8
    return head + b"".join(f.astype(dtype).tobytes() for f in frames)


def write(seq, frames, folder):
    """Writes the frames; returns the names the program is given, in frame order."""
    import os
    if seq.store == "ser":
        path = os.path.join(folder, seq.name + ".ser")
        with open(path, "wb") as f:
            f.write(ser_bytes(frames, seq.bits))
        return [path], ["%s#%d" % (path, i + 1) for i in range(len(frames))]
    paths = []
    for i, frame in enumerate(frames):
        path = os.path.join(folder, "%s_%04d.%s" % (seq.name, i + 1,
                                                    "bmp" if seq.store == "bmp" else "fit"))
        with open(path, "wb") as f:
            if seq.store == "fits":
                f.write(fits_bytes(frame))
            elif seq.store == "float-fits":
                f.write(float_fits_bytes(frame, (1 << seq.bits) - 1))
            else:
                f.write(bmp_bytes(frame))
        paths.append(path)
    return paths, paths
