"""Checks the generated artwork for the facts the launcher's windows depend
on: sizes, real alpha channels, a window outline cut with alpha 0, no
visible pure black (the content panel's colour key), plain dark places under
the panel's own controls, the icon's sizes, and a deterministic, clean run.

    python3 -m unittest tools/art/test_make_art.py
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "make_art.py")
OUTPUTS = {"background.png", "close.png", "app.ico"}


class Picture:
    """An image decoded to 8-bit RGBA by ImageMagick."""

    def __init__(self, path):
        out = subprocess.run(["identify", "-format", "%w %h", path],
                             capture_output=True, check=True, text=True)
        self.w, self.h = (int(v) for v in out.stdout.split())
        self.data = subprocess.run(
            ["convert", path, "-depth", "8", "RGBA:-"],
            capture_output=True, check=True).stdout
        if len(self.data) != self.w * self.h * 4:
            raise AssertionError("decoded %d bytes for %dx%d" % (
                len(self.data), self.w, self.h))

    def px(self, x, y):
        i = (y * self.w + x) * 4
        return tuple(self.data[i:i + 4])

    def region(self, x0, y0, x1, y1):
        """Pixels of the rectangle, right and bottom edges included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                yield x, y, self.px(x, y)


def png_header(path):
    """Bit depth and colour type from the PNG's IHDR chunk."""
    with open(path, "rb") as f:
        head = f.read(33)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise AssertionError("%s is not a PNG" % path)
    w, h, depth, ctype = struct.unpack(">IIBB", head[16:26])
    return w, h, depth, ctype


def pixel_difference(a, b):
    """Where two pictures differ, for a failure message."""
    pa, pb = Picture(a), Picture(b)
    if (pa.w, pa.h) != (pb.w, pb.h):
        return "sizes %dx%d and %dx%d" % (pa.w, pa.h, pb.w, pb.h)
    places = [(i // 4 % pa.w, i // 4 // pa.w)
              for i in range(0, len(pa.data), 4)
              if pa.data[i:i + 4] != pb.data[i:i + 4]]
    if not places:
        return "same pixels, other bytes"
    xs, ys = [x for x, _ in places], [y for _, y in places]
    return "%d pixels within %d,%d..%d,%d, first at %d,%d: %s against %s" % (
        len(places), min(xs), min(ys), max(xs), max(ys), places[0][0],
        places[0][1], pa.px(*places[0]), pb.px(*places[0]))


def run_script(outdir, env=None):
    return subprocess.run([sys.executable, SCRIPT, outdir],
                          capture_output=True, text=True, env=env)


class GeneratedArt(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="art_test_")
        cls.out = os.path.join(cls.tmp.name, "art")
        cls.result = run_script(cls.out)
        if cls.result.returncode != 0:
            raise AssertionError("make_art.py failed: " + cls.result.stderr)
        cls.bg = Picture(os.path.join(cls.out, "background.png"))
        cls.close = Picture(os.path.join(cls.out, "close.png"))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.out, name)

    # -- the run ------------------------------------------------------------

    def test_writes_exactly_the_three_files(self):
        self.assertEqual(set(os.listdir(self.out)), OUTPUTS)

    def test_second_run_gives_identical_files(self):
        with tempfile.TemporaryDirectory() as again:
            r = run_script(again)
            self.assertEqual(r.returncode, 0, r.stderr)
            for name in OUTPUTS:
                first, second = self.path(name), os.path.join(again, name)
                with open(first, "rb") as a, open(second, "rb") as b:
                    if a.read() != b.read():
                        where = pixel_difference(first, second) \
                            if name.endswith(".png") else "see its frames"
                        self.fail("%s differs between runs: %s" % (name, where))

    # -- background ---------------------------------------------------------

    def test_background_is_rgba_png_of_window_size(self):
        w, h, depth, ctype = png_header(self.path("background.png"))
        self.assertEqual((w, h), (1280, 714))
        # Colour type 6 is 8-bit RGBA: the decoder then yields 32-bit ARGB
        # with per-pixel alpha, which the layered window needs.
        self.assertEqual((depth, ctype), (8, 6))
        self.assertEqual((self.bg.w, self.bg.h), (1280, 714))

    def test_background_outline_is_cut_with_alpha_zero(self):
        for x, y in [(0, 0), (1279, 0), (0, 713), (1279, 713),
                     (2, 42), (1277, 42), (2, 711), (1277, 711),
                     (300, 10), (980, 10), (60, 20), (1220, 20)]:
            self.assertEqual(self.bg.px(x, y)[3], 0, "pixel %d,%d" % (x, y))

    def test_background_body_and_crest_are_opaque(self):
        for x, y in [(640, 360), (780, 300), (640, 14), (20, 377),
                     (1260, 377), (640, 700), (30, 60), (1250, 690)]:
            self.assertEqual(self.bg.px(x, y)[3], 255, "pixel %d,%d" % (x, y))

    def test_no_visible_pure_black_in_background(self):
        d = self.bg.data
        r, g, b, a = d[0::4], d[1::4], d[2::4], d[3::4]
        bad = [i for i in range(len(a)) if a[i] and not (r[i] | g[i] | b[i])]
        self.assertEqual(bad[:5], [], "visible (0,0,0) pixels, e.g. at %s" %
                         [(i % self.bg.w, i // self.bg.w) for i in bad[:5]])

    def assert_plain_dark(self, rect, limit, what):
        for x, y, (r, g, b, a) in self.bg.region(*rect):
            self.assertEqual(a, 255, "%s not opaque at %d,%d" % (what, x, y))
            self.assertLess(max(r, g, b), limit,
                            "%s not dark at %d,%d: %s" % (what, x, y,
                                                          (r, g, b)))

    def test_web_page_area_is_plain_and_dark(self):
        self.assert_plain_dark((495, 132, 1148, 572), 40, "web page area")

    def test_status_and_progress_band_is_plain_and_dark(self):
        self.assert_plain_dark((168, 594, 1137, 634), 40, "progress band")

    def test_close_button_place_is_dark_and_inside_the_window(self):
        self.assert_plain_dark((1222, 87, 1252, 117), 255, "close area")
        cx, cy = 1237, 102
        for x, y, (r, g, b, a) in self.bg.region(1222, 87, 1252, 117):
            if (x - cx) ** 2 + (y - cy) ** 2 <= 17 ** 2:
                self.assertLess(max(r, g, b), 40, "close spot at %d,%d" % (
                    x, y))

    # -- close button -------------------------------------------------------

    def test_close_button_is_30px_rgba(self):
        w, h, depth, ctype = png_header(self.path("close.png"))
        self.assertEqual((w, h, depth, ctype), (30, 30, 8, 6))

    def test_close_button_is_round_with_opaque_face(self):
        c = self.close
        for x, y in [(0, 0), (29, 0), (0, 29), (29, 29), (2, 2), (27, 27)]:
            self.assertEqual(c.px(x, y)[3], 0, "corner %d,%d" % (x, y))
        for x, y in [(15, 15), (8, 15), (22, 15), (15, 8), (15, 22)]:
            self.assertEqual(c.px(x, y)[3], 255, "face %d,%d" % (x, y))

    def test_close_button_has_a_light_cross_on_a_dark_face(self):
        c = self.close
        # The cross runs through the centre; the face beside it is dark.
        centre = max(c.px(15, 15)[:3])
        face = max(c.px(15, 9)[:3])
        self.assertGreater(centre, 150)
        self.assertLess(face, 90)

    def test_no_visible_pure_black_in_close_button(self):
        for x, y, (r, g, b, a) in ((x, y, self.close.px(x, y))
                                   for y in range(30) for x in range(30)):
            self.assertFalse(a and not (r | g | b), "at %d,%d" % (x, y))

    # -- icon ---------------------------------------------------------------

    def test_icon_holds_five_32_bit_sizes(self):
        with open(self.path("app.ico"), "rb") as f:
            data = f.read()
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            w, h, _, _, planes, bits, size, offset = struct.unpack(
                "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
            self.assertEqual(bits, 32)
            self.assertLessEqual(offset + size, len(data))
            sizes.append((w or 256, h or 256))
        self.assertEqual(sorted(sizes), [(n, n) for n in (16, 32, 48, 64,
                                                          128)])

    def test_icon_images_have_alpha(self):
        for i in range(5):
            p = Picture(self.path("app.ico") + "[%d]" % i)
            n = p.w
            self.assertEqual(p.px(0, n - 1)[3], 0, "size %d corner" % n)
            self.assertEqual(p.px(n - 1, n - 1)[3], 0, "size %d corner" % n)
            self.assertEqual(p.px(n // 2, n // 2)[3], 255,
                             "size %d centre" % n)


class Failures(unittest.TestCase):

    def test_unusable_outdir_fails(self):
        with tempfile.NamedTemporaryFile() as f:
            r = run_script(f.name)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("make_art:", r.stderr)

    def test_missing_imagemagick_fails_without_output(self):
        with tempfile.TemporaryDirectory() as empty, \
                tempfile.TemporaryDirectory() as out:
            env = dict(os.environ, PATH=empty)
            r = run_script(out, env=env)
            self.assertNotEqual(r.returncode, 0)
            self.assertEqual(os.listdir(out), [])

    def test_usage_error(self):
        r = subprocess.run([sys.executable, SCRIPT], capture_output=True)
        self.assertNotEqual(r.returncode, 0)


if __name__ == "__main__":
    unittest.main()
