"""Sharpness yardsticks computed in the bench, candidate normalised scores from the program's
radial profiles, and how well a score follows a known order."""
import numpy as np

WINDOW = 256


def luminance(frame):
    f = frame.astype(np.float64)
    return f.mean(axis=2) if f.ndim == 3 else f


def program_window(frame, mode):
    """The 256 x 256 window the program analyses: the green samples of a colour frame, the
    samples of a mono one; in peak mode centred on the first brightest green sample (colour)
    or on the intensity centroid (mono), moved inside the frame."""
    img = frame[..., 1] if frame.ndim == 3 else frame
    img = img.astype(np.float64)
    h, w = img.shape
    if mode == "centre":
        y0, x0 = (h - WINDOW) // 2, (w - WINDOW) // 2
    elif frame.ndim == 3:
        py, px = np.unravel_index(int(np.argmax(img)), img.shape)
        y0 = int(np.clip(py - WINDOW // 2, 0, h - WINDOW))
        x0 = int(np.clip(px - WINDOW // 2, 0, w - WINDOW))
    else:
        total = img.sum()
        if total == 0:
            y0, x0 = (h - WINDOW) // 2, (w - WINDOW) // 2
        else:
            corner = lambda c, limit: 0 if not c > 0 else min(int(c), limit)  # noqa: E731
            y0 = corner((img.sum(axis=1) * np.arange(h)).sum() / total - WINDOW // 2, h - WINDOW)
            x0 = corner((img.sum(axis=0) * np.arange(w)).sum() / total - WINDOW // 2, w - WINDOW)
    return img[y0:y0 + WINDOW, x0:x0 + WINDOW]


def laplacian_variance(img):
    lap = (img[1:-1, :-2] + img[1:-1, 2:] + img[:-2, 1:-1] + img[2:, 1:-1] -
           4.0 * img[1:-1, 1:-1])
    return lap.var()


def sobel(img):
    gx = (img[:-2, 2:] + 2 * img[1:-1, 2:] + img[2:, 2:] -
          img[:-2, :-2] - 2 * img[1:-1, :-2] - img[2:, :-2])
    gy = (img[2:, :-2] + 2 * img[2:, 1:-1] + img[2:, 2:] -
          img[:-2, :-2] - 2 * img[:-2, 1:-1] - img[:-2, 2:])
    return np.hypot(gx, gy)


def sobel_mean(img):
    return sobel(img).mean()


def local_contrast(img):
    """Light pre-blur (3 x 3 binomial), 2 x 2 binning, then the mean gradient magnitude over
    the object divided by the object's mean level. The object is what stands clearly above
    the sky, so a small disc is not averaged with empty sky."""
    k = np.array([1.0, 2.0, 1.0]) / 4.0
    b = np.apply_along_axis(lambda r: np.convolve(r, k, mode="same"), 1, img)
    b = np.apply_along_axis(lambda c: np.convolve(c, k, mode="same"), 0, b)
    h, w = (b.shape[0] // 2) * 2, (b.shape[1] // 2) * 2
    b = b[:h, :w].reshape(h // 2, 2, w // 2, 2).mean(axis=(1, 3))
    grad = sobel(b)
    inner = b[1:-1, 1:-1]
    sky = np.percentile(b, 2)
    top = np.percentile(b, 99.5)
    mask = inner > sky + 0.2 * (top - sky)
    if mask.sum() < 16:
        mask = np.ones_like(inner, dtype=bool)
    level = inner[mask].mean() - sky
    return grad[mask].mean() / level if level > 0 else 0.0


YARDSTICKS = {
    "Laplacian variance": laplacian_variance,
    "Sobel mean": sobel_mean,
    "local contrast": local_contrast,
}


# ---- candidates from the program's profiles (rows of bins 0..255) ----

def band_sum(p, low=25, high=50):
    return p[:, low:high + 1].sum(axis=1)


def noise_floor(p, low=110, high=127):
    """Per frame and bin: the noise's share of each bin. A bin is a sum over its ring, so
    white noise grows with the radius; its slope is the median of bin / radius over bins
    where, at these seeing widths, hardly anything but noise is left. Above 128 the rings
    leave the window's square and hold less."""
    k = np.arange(p.shape[1], dtype=np.float64)
    slope = np.median(p[:, low:high + 1] / k[low:high + 1], axis=1)
    return slope[:, None] * k[None, :]


def dc(p):
    return np.maximum(p[:, 0], 1e-12)


def candidates(p):
    floor = noise_floor(p)
    clean = np.clip(p - floor, 0.0, None)
    power = np.clip(p ** 2 - floor ** 2, 0.0, None)
    return {
        "band 25-50 exact": band_sum(p),
        "(a) band / b0": band_sum(p) / dc(p),
        "(b) (band - floor) / b0": (band_sum(p) - band_sum(floor)) / dc(p),
        "(c) sum max(bin - floor, 0) / b0": band_sum(clean) / dc(p),
        "(d) sqrt(sum bin^2 - floor^2) / b0": np.sqrt(band_sum(power)) / dc(p),
        "(e) 10-40: (band - floor) / b0": (band_sum(p, 10, 40) - band_sum(floor, 10, 40)) / dc(p),
        "(f) 5-60: sum max(bin - floor, 0) / b0": band_sum(clean, 5, 60) / dc(p),
        "(g) 10-40: band / b0": band_sum(p, 10, 40) / dc(p),
    }


# ---- agreement with the true order ----

def ranks(values):
    """Ranks from 1, ties sharing their mean rank."""
    v = np.asarray(values, dtype=np.float64)
    order = np.argsort(v, kind="mergesort")
    r = np.empty(len(v))
    sv = v[order]
    i = 0
    while i < len(v):
        j = i
        while j + 1 < len(v) and sv[j + 1] == sv[i]:
            j += 1
        r[order[i:j + 1]] = (i + j) / 2.0 + 1.0
        i = j + 1
    return r


def spearman(scores, truth):
    """Spearman's correlation of the scores with truth (higher truth = better frame)."""
    a, b = ranks(scores), ranks(truth)
    a, b = a - a.mean(), b - b.mean()
    d = np.sqrt((a * a).sum() * (b * b).sum())
    return float((a * b).sum() / d) if d > 0 else 0.0


def best_share(scores, truth, part=0.2):
    """The share of the truly best part found among the part with the highest scores; ties
    on the cut go to the earlier frame, as the program's best N does."""
    n = max(1, int(np.ceil(part * len(truth))))
    idx = np.arange(len(truth))
    best = set(np.lexsort((idx, -np.asarray(truth, dtype=np.float64)))[:n])
    chosen = set(np.lexsort((idx, -np.asarray(scores, dtype=np.float64)))[:n])
    return len(best & chosen) / n
