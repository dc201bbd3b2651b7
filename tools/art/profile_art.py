#!/usr/bin/env python3
"""Puts a channel profile's artwork in place for the resource compiler and
checks that the launcher's windows can use it.

    profile_art.py OUTDIR --title TITLE [--background PNG] [--close PNG] [--icon ICO]
    profile_art.py --check-only [--background PNG] [--close PNG] [--icon ICO]

The first form writes OUTDIR/background.png, OUTDIR/close.png and
OUTDIR/app.ico: each given file is copied, and whatever the profile does not
give is drawn by make_art.py with TITLE. Then all three are checked. The
second form only checks the given files (the configure step uses it so that
a bad image stops the build before anything is compiled).

What is checked, because the windows rely on it:
  * background: a PNG of 1280 x 714 pixels with transparency (an alpha
    channel, or a transparent colour); fully transparent pixels are holes in
    the layered main window;
  * close button: a PNG of 30 x 30 pixels with an alpha channel, or a
    palette with transparency, drawn antialiased over the panel;
  * icon: an ICO holding 16, 32, 48, 64 and 128 pixel images in 32-bit
    colour (both windows take their small and large icons from it).
Any other file ends the script with status 1 and one line naming the file
and what is wrong with it. Only the standard library is used; the files are
read as untrusted input, so a truncated or crafted file gives that message
too, never a traceback.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
BACKGROUND_SIZE = (1280, 714)
CLOSE_SIZE = (30, 30)
ICON_SIZES = (16, 32, 48, 64, 128)
MAX_READ = 64 << 20   # no artwork is this large; stops a runaway file


class ArtError(Exception):
    pass


# PNG colour types
GREY, RGB, PALETTE, GREY_ALPHA, RGBA = 0, 2, 3, 4, 6


def png_info(data, what):
    """(width, height, bit depth, colour type, has tRNS) of PNG bytes."""
    if not data.startswith(PNG_SIGNATURE):
        raise ArtError("%s is not a PNG image" % what)
    pos = len(PNG_SIGNATURE)
    header = None
    transparent = False
    while True:
        if pos + 8 > len(data):
            raise ArtError("%s is cut short (no IEND chunk)" % what)
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        end = pos + 12 + length
        if end > len(data):
            raise ArtError("%s is cut short inside its %r chunk" % (what, kind.decode("latin-1")))
        body = data[pos + 8:pos + 8 + length]
        if header is None:
            if kind != b"IHDR" or length != 13:
                raise ArtError("%s does not start with an image header" % what)
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            header = (width, height, depth, colour)
        elif kind == b"tRNS":
            transparent = True
        elif kind == b"IEND":
            return header + (transparent,)
        pos = end


def check_background(data, what):
    width, height, _, colour, trns = png_info(data, what)
    if (width, height) != BACKGROUND_SIZE:
        raise ArtError("%s is %d x %d pixels; the background must be %d x %d"
                       % ((what, width, height) + BACKGROUND_SIZE))
    if colour not in (GREY_ALPHA, RGBA) and not trns:
        raise ArtError("%s has no transparency; the background needs an alpha channel or a "
                       "transparent colour (the window's outline is cut from it)" % what)


def check_close(data, what):
    width, height, _, colour, trns = png_info(data, what)
    if (width, height) != CLOSE_SIZE:
        raise ArtError("%s is %d x %d pixels; the close button must be %d x %d"
                       % ((what, width, height) + CLOSE_SIZE))
    if colour not in (GREY_ALPHA, RGBA) and not (colour == PALETTE and trns):
        raise ArtError("%s has no alpha; the close button needs an alpha channel "
                       "(or a palette with transparency)" % what)


def icon_entries(data, what):
    """{size: bits per pixel} of the images an ICO file holds."""
    if len(data) < 6:
        raise ArtError("%s is not an icon file" % what)
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or kind != 1 or count == 0:
        raise ArtError("%s is not an icon file" % what)
    if 6 + 16 * count > len(data):
        raise ArtError("%s is cut short inside its directory" % what)
    found = {}
    for i in range(count):
        w, h, _, _, _, bpp, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        w, h = w or 256, h or 256
        if offset + size > len(data) or size < 16:
            raise ArtError("%s: image %d lies outside the file" % (what, i + 1))
        image = data[offset:offset + size]
        if image.startswith(PNG_SIGNATURE):
            pw, ph, depth, colour, _ = png_info(image, "%s image %d" % (what, i + 1))
            bits = depth * 4 if colour == RGBA else 0
            w, h = pw, ph
        else:
            if size < 40:
                raise ArtError("%s: image %d is cut short" % (what, i + 1))
            header_size, bw, bh, _, bits = struct.unpack("<IiiHH", image[:16])
            if header_size < 40 or bw != w or bh != 2 * h:
                raise ArtError("%s: image %d has a bad bitmap header" % (what, i + 1))
            bits = bits or bpp
        if w != h:
            raise ArtError("%s: image %d is %d x %d; icon images are square" % (what, i + 1, w, h))
        found[w] = max(found.get(w, 0), bits)
    return found


def check_icon(data, what):
    found = icon_entries(data, what)
    missing = [n for n in ICON_SIZES if found.get(n, 0) < 32]
    if missing:
        raise ArtError("%s lacks a 32-bit image of %s pixels; the icon needs %s"
                       % (what, ", ".join(str(n) for n in missing),
                          ", ".join(str(n) for n in ICON_SIZES)))


CHECKS = {"background": check_background, "close": check_close, "icon": check_icon}
FILE_NAMES = {"background": "background.png", "close": "close.png", "icon": "app.ico"}


def read(path):
    try:
        with open(path, "rb") as f:
            data = f.read(MAX_READ + 1)
    except OSError as e:
        raise ArtError("cannot read %s: %s" % (path, e.strerror or e))
    if len(data) > MAX_READ:
        raise ArtError("%s is larger than %d MiB" % (path, MAX_READ >> 20))
    return data


def check_file(kind, path):
    CHECKS[kind](read(path), path)


def place(outdir, title, given):
    """Copies the given files and draws the rest; returns the final paths."""
    os.makedirs(outdir, exist_ok=True)
    final = {kind: os.path.join(outdir, name) for kind, name in FILE_NAMES.items()}
    try:
        # A given file is checked where the profile keeps it, so the message
        # names the operator's file, and before any drawing.
        for kind, path in given.items():
            check_file(kind, path)
        if any(kind not in given for kind in FILE_NAMES):
            with tempfile.TemporaryDirectory(prefix="profile_art_") as tmp:
                drawn = subprocess.run([sys.executable, os.path.join(HERE, "make_art.py"), tmp, title],
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                if drawn.returncode != 0:
                    raise ArtError("drawing the artwork failed:\n" + drawn.stdout.decode("utf-8", "replace"))
                for kind, name in FILE_NAMES.items():
                    if kind not in given:
                        install(os.path.join(tmp, name), final[kind])
        for kind, path in given.items():
            install(path, final[kind])
        for kind, path in final.items():
            if kind not in given:
                check_file(kind, path)
    except ArtError:
        # No file may stay under its final name: the build would take it as
        # made and not ask again.
        for path in final.values():
            if os.path.exists(path):
                os.remove(path)
        raise
    return final


def install(src, dst):
    # Beside the final name, then renamed over it: a reader never sees half
    # a picture.
    part = dst + ".part"
    try:
        shutil.copyfile(src, part)
        os.replace(part, dst)
    except OSError as e:
        raise ArtError("cannot copy %s to %s: %s" % (src, dst, e.strerror or e))
    finally:
        if os.path.exists(part):
            os.remove(part)


def parse(argv):
    args = {"given": {}, "outdir": None, "title": None, "check_only": False}
    i = 1
    while i < len(argv):
        a = argv[i]
        if a == "--check-only":
            args["check_only"] = True
        elif a in ("--background", "--close", "--icon", "--title") and i + 1 < len(argv):
            i += 1
            if a == "--title":
                args["title"] = argv[i]
            elif argv[i]:
                args["given"][a[2:]] = argv[i]
        elif not a.startswith("--") and args["outdir"] is None:
            args["outdir"] = a
        else:
            return None
        i += 1
    if args["check_only"] == (args["outdir"] is not None):
        return None
    if args["outdir"] is not None and args["title"] is None:
        return None
    return args


def main(argv):
    args = parse(argv)
    if args is None:
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    try:
        if args["check_only"]:
            for kind, path in args["given"].items():
                check_file(kind, path)
        else:
            place(args["outdir"], args["title"], args["given"])
    except ArtError as e:
        sys.stderr.write("profile artwork: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
