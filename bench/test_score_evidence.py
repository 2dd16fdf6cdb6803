#!/usr/bin/python3
"""Checks of the score evidence bench: its writers give the program the same pixels in every
file kind, and its agreement measures rank as Spearman and a best-N cut do.

    bench/test_score_evidence.py [--cli PATH]"""
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import evidence_frames as ef  # noqa: E402
import evidence_measures as em  # noqa: E402

CLI = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                   "build/src/cli/framesifter-cli")


def profile(names):
    out = subprocess.run([CLI, "profile"] + names, capture_output=True, text=True, check=True)
    return [np.array([float(v) for v in line.split(",")[1:]])
            for line in out.stdout.splitlines()[1:]]


class Writers(unittest.TestCase):
    @unittest.skipUnless(os.access(CLI, os.X_OK), "framesifter-cli is not built")
    def test_every_kind_gives_the_program_the_same_frame(self):
        rng = np.random.default_rng(3)
        # An odd width pads BMP rows; values above 255 and 32767 test the 16-bit byte order
        # and BZERO.
        cases = [
            ("8-bit mono", rng.integers(0, 256, (259, 301)).astype(np.uint8), 8,
             ["fits", "bmp", "ser"]),
            ("16-bit mono", rng.integers(0, 65536, (259, 301)).astype(np.uint16), 16,
             ["fits", "ser"]),
            ("8-bit colour", rng.integers(0, 256, (259, 301, 3)).astype(np.uint8), 8,
             ["bmp", "ser"]),
        ]
        with tempfile.TemporaryDirectory() as folder:
            for label, frame, bits, kinds in cases:
                names = []
                for kind in kinds:
                    seq = ef.Sequence("f_%s_%d" % (kind, bits), None, 1, (0, 0), 0, (1, 1),
                                      "gauss", 1, 0, bits, frame.ndim == 3, kind)
                    names += ef.write(seq, [frame], folder)[1]
                rows = profile(names)
                for kind, row in zip(kinds[1:], rows[1:]):
                    with self.subTest(label, kind=kind):
                        np.testing.assert_allclose(row, rows[0], rtol=1e-9)
                if frame.ndim == 2:
                    # Float FITS holds the samples over the depth's largest value, in float.
                    seq = ef.Sequence("f_float_%d" % bits, None, 1, (0, 0), 0, (1, 1), "gauss",
                                      1, 0, bits, False, "float-fits")
                    row = profile(ef.write(seq, [frame], folder)[1])[0]
                    with self.subTest(label, kind="float-fits"):
                        np.testing.assert_allclose(row * ((1 << bits) - 1), rows[0], rtol=1e-5,
                                                   atol=1e-3 * rows[0][0])


class Windows(unittest.TestCase):
    @unittest.skipUnless(os.access(CLI, os.X_OK), "framesifter-cli is not built")
    def test_the_bench_measures_the_window_the_program_analyses(self):
        # A frame's peak window, written as a frame of its own, has the profile the program
        # gives the whole frame in peak mode.
        rng = np.random.default_rng(5)
        y, x = np.mgrid[0:480, 0:640]
        disc = ((y - 150) ** 2 + (x - 470) ** 2 < 90 ** 2) * 180.0
        cases = [
            ("mono FITS, centroid", (disc * 200 + rng.integers(0, 900, disc.shape))
             .astype(np.uint16), "fits", 16),
            ("colour BMP, brightest green", np.stack(
                [disc * 0.5, disc + rng.integers(0, 60, disc.shape), disc * 0.8], axis=2)
             .clip(0, 255).astype(np.uint8), "bmp", 8),
        ]
        with tempfile.TemporaryDirectory() as folder:
            for label, frame, kind, bits in cases:
                whole = ef.Sequence("whole_" + kind, None, 1, (0, 0), 0, (1, 1), "gauss", 1, 0,
                                    bits, frame.ndim == 3, kind)
                part = ef.Sequence("part_" + kind, None, 1, (0, 0), 0, (1, 1), "gauss", 1, 0,
                                   bits, False, kind)
                window = em.program_window(frame, "peak").astype(frame.dtype)
                names = ef.write(whole, [frame], folder)[1]
                peak = subprocess.run([CLI, "profile", "--peak"] + names, capture_output=True,
                                      text=True, check=True).stdout.splitlines()[1]
                alone = profile(ef.write(part, [window], folder)[1])[0]
                with self.subTest(label):
                    np.testing.assert_allclose(
                        np.array([float(v) for v in peak.split(",")[1:]]), alone, rtol=1e-9)


class Agreement(unittest.TestCase):
    def test_spearman(self):
        truth = np.arange(10.0)
        cases = [
            ("monotone transform", np.exp(truth), 1.0),
            ("reversed", -truth ** 3, -1.0),
            ("constant", np.ones(10), 0.0),
        ]
        for label, scores, want in cases:
            with self.subTest(label):
                self.assertAlmostEqual(em.spearman(scores, truth), want, places=12)

    def test_ties_share_their_mean_rank(self):
        np.testing.assert_array_equal(em.ranks([5, 1, 5, 3, 5]), [4, 1, 4, 2, 4])

    def test_best_share(self):
        truth = np.arange(10.0)  # frames 8 and 9 are the best 20 %
        cases = [
            ("same order", truth, 1.0),
            ("one swapped in", np.array([0, 1, 2, 3, 4, 5, 6, 9, 8, 7.0]), 0.5),
            ("tie on the cut goes to the earlier frame", np.array([0, 0, 0, 0, 0, 0, 0, 1, 1, 2.0]),
             0.5),
        ]
        for label, scores, want in cases:
            with self.subTest(label):
                self.assertEqual(em.best_share(scores, truth), want)


if __name__ == "__main__":
    if "--cli" in sys.argv:
        i = sys.argv.index("--cli")
        CLI = sys.argv[i + 1]
        del sys.argv[i:i + 2]
    unittest.main()
