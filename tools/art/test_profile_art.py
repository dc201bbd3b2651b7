"""The checks a channel profile's artwork must pass, on small PNG and ICO
files made here byte by byte (no image library needed).

    python3 -m unittest tools/art/test_profile_art.py
"""
import os
import struct
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import profile_art  # noqa: E402


def png(width, height, colour=6, trns=False, cut=0):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    data = (profile_art.PNG_SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0))
            + (chunk(b"tRNS", b"\0") if trns else b"") + chunk(b"IDAT", zlib.compress(b"\0"))
            + chunk(b"IEND", b""))
    return data[:len(data) - cut] if cut else data


def ico(sizes, bits=32, png_for=()):
    images = []
    for n in sizes:
        if n in png_for:
            images.append(png(n, n))
        else:
            images.append(struct.pack("<IiiHH", 40, n, 2 * n, 1, bits) + b"\0" * 24 + b"\0" * (n * n * 4))
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, bits, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


GOOD = {"background": png(1280, 714), "close": png(30, 30), "icon": ico((16, 32, 48, 64, 128))}


class Checks(unittest.TestCase):
    def fails(self, kind, data, text):
        with self.assertRaises(profile_art.ArtError) as e:
            profile_art.CHECKS[kind](data, "x")
        self.assertIn(text, str(e.exception))

    def test_what_the_windows_can_use_passes(self):
        for kind, data in GOOD.items():
            profile_art.CHECKS[kind](data, kind)
        # A palette or RGB picture with a transparent colour is transparent too;
        # an icon may hold PNG images.
        profile_art.check_background(png(1280, 714, colour=3, trns=True), "x")
        profile_art.check_close(png(30, 30, colour=3, trns=True), "x")
        profile_art.check_icon(ico((16, 32, 48, 64, 128, 256), png_for=(128, 256)), "x")

    def test_wrong_sizes_and_missing_transparency_are_named(self):
        self.fails("background", png(1280, 713), "is 1280 x 713 pixels; the background must be 1280 x 714")
        self.fails("background", png(1280, 714, colour=2), "has no transparency")
        self.fails("close", png(32, 32), "the close button must be 30 x 30")
        self.fails("close", png(30, 30, colour=2, trns=True), "has no alpha")
        self.fails("icon", ico((16, 32, 48, 128)), "lacks a 32-bit image of 64 pixels")
        self.fails("icon", ico((16, 32, 48, 64, 128), bits=8), "of 16, 32, 48, 64, 128 pixels")

    def test_broken_and_foreign_files_give_a_message_not_a_crash(self):
        self.fails("background", b"GIF89a" + b"\0" * 40, "is not a PNG image")
        self.fails("background", png(1280, 714, cut=5), "cut short")
        self.fails("close", png(30, 30)[:20], "cut short")
        self.fails("icon", b"\0\0\1\0", "is not an icon file")
        self.fails("icon", ico((16,))[:20], "cut short inside its directory")
        broken = bytearray(ico((16, 32, 48, 64, 128)))
        struct.pack_into("<I", broken, 6 + 12, 0x7FFFFFF0)   # first image's offset
        self.fails("icon", bytes(broken), "lies outside the file")
        self.fails("icon", ico((16, 32, 48, 64, 128), png_for=(64,))[:-30], "outside the file")


class Placing(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.out = os.path.join(self.dir.name, "art")

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_given_files_are_copied_as_they_are(self):
        given = {kind: self.write(kind, data) for kind, data in GOOD.items()}
        final = profile_art.place(self.out, "unused", given)
        for kind, data in GOOD.items():
            with open(final[kind], "rb") as f:
                self.assertEqual(f.read(), data)
        self.assertEqual(sorted(os.listdir(self.out)), ["app.ico", "background.png", "close.png"])

    def test_a_bad_file_leaves_nothing_the_build_would_take_as_made(self):
        given = dict((kind, self.write(kind, data)) for kind, data in GOOD.items())
        given["close"] = self.write("bad.png", png(31, 30))
        code = profile_art.main(["profile_art.py", self.out, "--title", "T",
                                 "--background", given["background"], "--close", given["close"],
                                 "--icon", given["icon"]])
        self.assertEqual(code, 1)
        self.assertEqual(os.listdir(self.out), [])
        self.assertEqual(profile_art.main(["profile_art.py", "--check-only", "--close", given["close"]]), 1)
        self.assertEqual(profile_art.main(["profile_art.py", "--check-only",
                                           "--close", self.write("ok.png", GOOD["close"])]), 0)
        self.assertEqual(profile_art.main(["profile_art.py", self.out]), 2)   # no title


if __name__ == "__main__":
    unittest.main()
