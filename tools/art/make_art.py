#!/usr/bin/env python3
"""Draws the launcher's artwork: the window background, the close button
and the application icon.

    make_art.py OUTDIR [TITLE]

letters TITLE (by default the game title of the channel profile, see
tools/profile) in capitals across the background and writes exactly OUTDIR/background.png, OUTDIR/close.png and OUTDIR/app.ico
and nothing else there; intermediate layers live in a private temporary
directory. The pictures are painted procedurally with ImageMagick 6
(`convert`). Every random element uses a fixed seed, so two runs give
byte-identical files. Any failure ends the script with a non-zero status and
leaves no partial file under the final names.

What the launcher's windows rely on (pixels of the 1280 x 714 background):
  * the picture is the window itself: fully transparent pixels are holes in
    the window, so the outline (rounded corners, the crest on the top edge)
    is cut with alpha 0 and the file keeps a real 8-bit alpha channel; a
    palette PNG with one transparent index would lose the soft edge;
  * the content panel lies over the whole picture and uses pure black as its
    colour key, so no visible pixel here is (0, 0, 0), and the places where
    the panel draws are kept plain and dark: the web page (about
    495..1148 x 132..572), the status texts and the progress bar (about
    168..1137 x 594..634) and the close button (1222..1252 x 87..117): the
    panel maps its template's box onto this picture, so these are the
    template's controls at 1280/608 and 714/303 pixels per dialog unit;
  * the panel's texts and the close button are antialiased against that
    black, so the plain dark areas under them keep their edges clean.
"""

import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

W, H = 1280, 714

# Window outline: a rounded body below a crest tab at the top centre.
BODY_TOP = 40
CORNER_RADIUS = 24
CREST_PATH = ("M 506,{t} C 556,{t} 570,8 610,6 L 670,6 "
              "C 710,8 724,{t} 774,{t} Z").format(t=BODY_TOP + 2)
FRAME = 13                            # width of the stone frame
EMBLEM_SIZE = 84
EMBLEM_POS = (640 - EMBLEM_SIZE // 2, 11)

# Areas the content panel paints over (left, top, right, bottom).
WEB_FRAME = (490, 127, 1153, 577)     # gold line just outside the web page
DOCK = (88, 586, 1217, 642)           # status texts and progress bar
DOCK_FADE = 80                        # plain from 168 to 1137
BAR_GROOVE = (166, 622, 1139, 636)
CLOSE_CENTRE = (1237, 102)

MOON = (284, 204, 50)                 # centre x, centre y, radius

# Darkest colour for opaque pixels: pure black is the panel's colour key.
INK = "#0b0d12"
PANEL = "#0d1016"
SILHOUETTE = "#0f131b"

GOLD = ["#6e4619", "#c99a4e", "#f7e3a4", "#e2bd6c", "#a8762f", "#d7ad5c",
        "#7d5220"]

PNG_OPTS = ["-define", "png:exclude-chunks=date,time", "-strip"]

FONTS = {
    "title": "DejaVuSerifCondensed-Bold.ttf",
    "mark": "DejaVuSerif-Bold.ttf",
    "mark-small": "DejaVuSans-Bold.ttf",
}
FONT_DIRS = ["/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu",
             "/usr/share/fonts/TTF", "/usr/local/share/fonts"]


class ArtError(Exception):
    pass


def find_font(name):
    for d in FONT_DIRS:
        p = os.path.join(d, name)
        if os.path.isfile(p):
            return p
    # Elsewhere only through fontconfig, and only the very same file: a
    # substitute face would silently change the lettering of every build.
    try:
        out = subprocess.run(["fc-list", "--format", "%{file}\n"],
                             capture_output=True, text=True).stdout
    except OSError:
        out = ""
    for line in out.splitlines():
        if os.path.basename(line.strip()) == name:
            return line.strip()
    raise ArtError("font %s not found (Debian packages fonts-dejavu-core "
                   "and fonts-dejavu-extra)" % name)


def run(args):
    """Runs one convert command. Warnings count as failures: they usually
    mean that a layer silently came out wrong."""
    cmd = ["convert"] + [str(a) for a in args]
    try:
        # One thread per convert: how the library's parallel loops share out
        # rows (and the random sequences of the noise steps with them) may
        # vary with the machine and its load, and the files must not. Both
        # cores still work, on independent steps (see parallel).
        p = subprocess.run(cmd, capture_output=True, text=True,
                           env=dict(os.environ, MAGICK_THREAD_LIMIT="1"))
    except OSError as e:
        raise ArtError("cannot run ImageMagick convert: %s" % e)
    if p.returncode != 0 or p.stderr.strip():
        raise ArtError("convert failed (status %d): %s\n  command: %s" % (
            p.returncode, p.stderr.strip(), " ".join(cmd)[:800]))


def parallel(*jobs):
    """Runs independent steps on both cores; a step is a convert argument
    list or a function without arguments."""
    with ThreadPoolExecutor(max_workers=2) as pool:
        futures = [pool.submit(j if callable(j) else run, *(
            () if callable(j) else (j,))) for j in jobs]
        for f in futures:
            f.result()


def pts(points):
    return " ".join("%.1f,%.1f" % p for p in points)


def write_pgm(path, w, rows):
    """Writes a grey image from rows of 0..255 values (used for masks whose
    shape is easier to compute than to draw)."""
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (w, len(rows)))
        for r in rows:
            f.write(r)


def ridge(rng, x0, x1, base, amp, rough, levels=7):
    """A skyline by midpoint displacement."""
    n = 2 ** levels
    ys = [0.0] * (n + 1)
    ys[0] = rng.uniform(-amp, amp) * 0.5
    ys[n] = rng.uniform(-amp, amp) * 0.5
    step, scale = n, amp
    while step > 1:
        half = step // 2
        for i in range(half, n, step):
            ys[i] = (ys[i - half] + ys[i + half]) / 2 + \
                rng.uniform(-scale, scale)
        step, scale = half, scale * rough
    return [(x0 + (x1 - x0) * i / n, base + ys[i]) for i in range(n + 1)]


def jag(rng, points, amp, levels=3):
    """Roughens a polyline: each pass splits every segment and pushes the
    midpoint sideways."""
    for _ in range(levels):
        out = [points[0]]
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            dx, dy = bx - ax, by - ay
            n = math.hypot(dx, dy) or 1.0
            t = rng.uniform(-amp, amp)
            out += [((ax + bx) / 2 - dy / n * t, (ay + by) / 2 + dx / n * t),
                    (bx, by)]
        points, amp = out, amp * 0.55
    return points


def band(dist, a, b, unit=100):
    """Mask of the band from a to b pixels inside an outline, read from a
    distance map (unit levels per pixel); one-pixel ramps keep it smooth."""
    return ["(", dist, "-level", "%d,%d" % (a * unit, (a + 1) * unit),
            "(", dist, "-level", "%d,%d" % (b * unit, (b + 1) * unit), ")",
            "-compose", "difference", "-composite", ")"]


def paint(src, mask):
    """Arguments that lay src through mask onto the image before them."""
    src = src if isinstance(src, list) else [src]
    return ["("] + src + mask + ["-alpha", "off", "-compose", "copyopacity",
                                 "-composite", ")", "-compose", "over",
                                 "-composite"]


def flat(colour, w=W, h=H):
    return ["-size", "%dx%d" % (w, h), "xc:" + colour]


def soft(shapes, sigma, fill="white", bg="black"):
    """A blurred layer of shapes (MVG in full-size coordinates). Wide blurs
    run on a reduced canvas and are scaled up: same look, a fraction of the
    time."""
    f = 4 if sigma >= 8 else (2 if sigma >= 3 else 1)
    args = ["(", "-size", "%dx%d" % (-(-W // f), -(-H // f)), "xc:" + bg,
            "-fill", fill]
    for s in shapes:
        args += ["-draw", "scale %g,%g %s" % (1.0 / f, 1.0 / f, s)]
    return args + ["-blur", "0x%g" % (sigma / f), "-resize",
                   "%dx%d!" % (W, H), ")"]


def screen(layer):
    return layer + ["-compose", "screen", "-composite"]


def metal(w, h, stops, out):
    """A vertical metallic gradient through the stops."""
    return ["-size", "1x1"] + ["xc:" + s for s in stops] + [
        "-append", "-filter", "triangle", "-resize", "1x%d!" % h,
        "-scale", "%dx%d!" % (w, h), out]


def distance_map(mask, out):
    """Euclidean distance to the outline, 100 levels per pixel. The border
    makes the image edge count as outside."""
    return [mask, "-bordercolor", "black", "-border", "2",
            "-morphology", "Distance", "Euclidean:4", "-shave", "2x2", out]


def finish(out_fmt):
    """Lifts pure black to near black in the colour channels, clears the
    colour of fully transparent pixels and writes RGBA."""
    return ["-channel", "RGB", "+level", "2%,100%", "+channel",
            "-background", "none", "-alpha", "background"] + PNG_OPTS + [
        out_fmt]


# ---------------------------------------------------------------- emblem ---

def shield_path(s):
    """A heater shield filling an s x s box."""
    def p(x, y):
        return "%.2f,%.2f" % (x * s, y * s)
    return "M %s Q %s %s L %s C %s %s %s C %s %s %s Z" % (
        p(0.10, 0.08), p(0.5, -0.02), p(0.90, 0.08), p(0.90, 0.46),
        p(0.90, 0.72), p(0.72, 0.87), p(0.5, 0.98), p(0.28, 0.87),
        p(0.10, 0.72), p(0.10, 0.46))


def make_emblem(tmp, size, out):
    """A crimson heater shield with a gold rim and a gold B, size x size.
    Drawn several times larger and averaged down; small sizes get a
    relatively thicker rim and a relatively larger letter so the mark still
    reads at 16 px."""
    k = 8 if size <= 48 else 4
    s = size * k
    rim = max(1.4, size * 0.07)           # final pixels
    pre = os.path.join(tmp, "em%d_" % size)
    mask, dist, mark = pre + "mask.png", pre + "dist.png", pre + "mark.png"
    gold, field = pre + "gold.miff", pre + "field.miff"
    # The letter's height as a share of the box; its centre sits a little
    # above the box centre, where the shield is widest.
    share = 0.56 if size <= 16 else (0.58 if size <= 32 else 0.54)
    # At 16 px serifs and shading only blur the letter: a plain bold face
    # in flat pale gold keeps it legible against the rim.
    tiny = size <= 16
    font = find_font(FONTS["mark-small" if tiny else "mark"])
    face = flat("#ffe6a0", s, s) if tiny else gold
    run(["-size", "%dx%d" % (s, s), "xc:black", "-fill", "white",
         "-draw", "path '%s'" % shield_path(s), mask])
    parallel(
        distance_map(mask, dist),
        metal(s, s, GOLD, gold),
        ["-size", "%dx%d" % (s, s), "radial-gradient:#9a2a2e-#1e080c",
         "-resize", "200%", "-crop", "%dx%d+%d+%d" % (s, s, s * 0.62,
                                                     s * 0.55),
         "+repage", field],
        ["-size", "%dx%d" % (s, s), "xc:black", "-fill", "white",
         "-font", font,
         "-pointsize", "%d" % (s * share * 1.37), "-gravity", "center",
         "-annotate", "+%d-%d" % (s * 0.005, s * 0.045), "B", mark],
    )
    u = 100 * k                            # distance levels per final pixel
    shadow = max(1.0, size / 40.0) * k
    run([field]
        # Inner shade along the rim, so the field looks sunk into it.
        + paint(flat("#12050a", s, s),
                ["(", dist, "-level", "%d,%d" % (rim * u, (rim + 2.5) * u),
                 "-negate", "-evaluate", "multiply", "0.8", ")"])
        # Dark outer edge and inner lip, with the gold rim between.
        + paint(flat("#2a1808", s, s),
                ["(", dist, "-level", "0,%d" % (0.5 * u),
                 "(", dist, "-level", "%d,%d" % ((rim + 0.45) * u,
                                                 (rim + 0.95) * u), ")",
                 "-compose", "difference", "-composite", ")"])
        + paint(gold, ["(", dist, "-level", "%d,%d" % (0.35 * u, 0.85 * u),
                       "(", dist, "-level", "%d,%d" % (rim * u,
                                                       (rim + 0.5) * u), ")",
                       "-compose", "difference", "-composite", ")"])
        # The letter: a soft dark shadow, then gold.
        + ([] if tiny else paint(
            flat("#140508", s, s),
            ["(", mark, "-roll", "+%d+%d" % (shadow * 0.6, shadow),
             "-blur", "0x%d" % (shadow * 0.8), ")"]))
        + paint(face, [mark])
        + [mask, "-alpha", "off", "-compose", "copyopacity", "-composite",
           "-filter", "box", "-resize", "%dx%d!" % (size, size)]
        + finish("PNG32:" + out))


# --------------------------------------------------------------- close -----

def make_close(tmp, out):
    """A round bronze-rimmed button with a gold cross, 30 x 30."""
    k = 8
    s = 30 * k
    c = s / 2.0
    pre = os.path.join(tmp, "close_")
    gold, face = pre + "gold.miff", pre + "face.miff"
    parallel(
        metal(s, s, ["#5e3b14", "#e9c77c", "#b8873e", "#7a4e1c", "#c89a50"],
              gold),
        ["-size", "%dx%d" % (s * 2, s * 2), "radial-gradient:#3b302e-#120e11",
         "-crop", "%dx%d+%d+%d" % (s, s, s * 0.6, s * 0.55), "+repage", face],
    )

    def disc(r):
        return ["(", "-size", "%dx%d" % (s, s), "xc:black", "-fill", "white",
                "-draw", "circle %.1f,%.1f %.1f,%.1f" % (c, c, c + r, c), ")"]
    a, b = 9.6 * k, 20.4 * k

    def cross(dx=0, dy=0):
        return ["(", "-size", "%dx%d" % (s, s), "xc:black", "-fill", "none",
                "-stroke", "white", "-strokewidth", "%.1f" % (2.4 * k),
                "-draw", "stroke-linecap round line %.1f,%.1f %.1f,%.1f" % (
                    a + dx, a + dy, b + dx, b + dy),
                "-draw", "stroke-linecap round line %.1f,%.1f %.1f,%.1f" % (
                    a + dx, b + dy, b + dx, a + dy)]
    # Drawn a little smaller than the canvas so no edge pixel is clipped.
    run(flat("#2a1a0a", s, s)
        + paint(gold, disc(14.1 * k))
        + paint(flat("#24170a", s, s), disc(12.1 * k))
        + paint(face, disc(11.3 * k))
        + paint(flat("#060408", s, s),
                cross(k * 0.5, k) + ["-blur", "0x%d" % k, ")"])
        + paint(flat("#efd08a", s, s), cross() + [")"])
        + disc(14.6 * k)
        + ["-alpha", "off", "-compose", "copyopacity", "-composite",
           "-filter", "box", "-resize", "30x30!"]
        + finish("PNG32:" + out))


# ----------------------------------------------------------- background ----

def stars(rng):
    """Draw arguments for the star field; fainter towards the horizon and
    kept off the moon."""
    out = []
    mx, my, mr = MOON
    for _ in range(340):
        x = rng.uniform(0, W)
        y = 44 + 430 * rng.random() ** 1.3
        b = (0.25 + 0.75 * rng.random() ** 3) * (1.0 - 0.7 * (y - 44) / 430)
        r = 0.45 + 0.85 * rng.random() ** 5
        tint = rng.choice([(200, 214, 255), (255, 244, 220), (230, 236, 255)])
        if (x - mx) ** 2 + (y - my) ** 2 < (mr + 34) ** 2:
            continue
        out += ["-fill", "rgb(%d,%d,%d)" % tuple(int(t * b) for t in tint),
                "-draw", "circle %.1f,%.1f %.1f,%.1f" % (x, y, x + r, y)]
    return out


def castle(rng):
    """The castle on its crag, in front of the moon: draw arguments for the
    silhouette and for the lit windows."""
    rects = [
        (148, 362, 372, 408),          # curtain wall
        (132, 300, 170, 408),          # left tower
        (188, 330, 206, 362),          # turret
        (220, 262, 292, 408),          # keep
        (246, 204, 266, 262),          # spire
        (322, 312, 358, 408),          # right tower
    ]
    polys = [
        [(127, 300), (151, 256), (175, 300)],
        [(184, 330), (197, 306), (210, 330)],
        [(240, 204), (256, 146), (272, 204)],
        [(317, 312), (340, 274), (363, 312)],
        [(256, 146), (256, 131), (273, 135), (256, 140)],      # pennant
    ]
    for x in range(148, 366, 14):
        rects.append((x, 354, x + 8, 362))
    for x in range(220, 290, 12):
        rects.append((x, 254, x + 7, 262))
    crag = jag(rng, [(0, 640), (30, 560), (64, 506), (100, 460), (126, 420),
                     (150, 404), (220, 398), (300, 402), (372, 400),
                     (404, 420), (440, 452), (470, 500), (502, 560),
                     (540, 640)], 9, 4)
    windows = [(236, 296), (270, 296), (252, 336), (253, 220), (148, 326),
               (148, 366), (337, 336), (194, 340), (300, 380)]
    draw = ["-draw", "polygon " + pts(crag)]
    for r in rects:
        draw += ["-draw", "rectangle %d,%d %d,%d" % r]
    for p in polys:
        draw += ["-draw", "polygon " + pts(p)]
    lights = ["roundrectangle %d,%d %d,%d 2,2" % (x, y, x + 5, y + 9)
              for (x, y) in windows]
    return draw, lights


def dead_tree(rng):
    """A bare, crooked tree on the right, grown by recursive branching;
    kept below the close button."""
    segs = []

    def grow(x, y, ang, length, width, depth):
        # Each limb bends once half way.
        mid_ang = ang + rng.uniform(-14, 14)
        x1 = x + length * 0.5 * math.cos(math.radians(ang))
        y1 = y - length * 0.5 * math.sin(math.radians(ang))
        x2 = x1 + length * 0.5 * math.cos(math.radians(mid_ang))
        y2 = y1 - length * 0.5 * math.sin(math.radians(mid_ang))
        segs.append((width, (x, y, x1, y1)))
        segs.append((width * 0.85, (x1, y1, x2, y2)))
        if depth == 0 or width < 0.9:
            return
        n = 2 if rng.random() < 0.8 else 3
        for i in range(n):
            spread = rng.uniform(18, 38) * (1 if i % 2 == 0 else -1)
            grow(x2, y2, mid_ang + spread, length * rng.uniform(0.62, 0.78),
                 width * 0.66, depth - 1)

    base_x, base_y, top = 1204, 650, 236
    grow(base_x, base_y, 97, 150, 14, 6)
    # Shrink the whole tree about its foot until the crown clears the top
    # limit: clipping limbs instead would leave a flat, cut-off crown.
    high = min(min(y0, y1) for _, (x0, y0, x1, y1) in segs)
    f = min(1.0, (base_y - top) / float(base_y - high))
    out = []
    for w, (x0, y0, x1, y1) in segs:
        x0, x1 = base_x + (x0 - base_x) * f, base_x + (x1 - base_x) * f
        y0, y1 = base_y + (y0 - base_y) * f, base_y + (y1 - base_y) * f
        out += ["-strokewidth", "%.2f" % max(0.8, w * f), "-draw",
                "stroke-linecap round line %.1f,%.1f %.1f,%.1f" % (
                    x0, y0, x1, y1)]
    return out


def dock_masks(tmp):
    """The dock behind the status texts and the progress bar (plain, fading
    out sideways) and its two gold hairlines, as grey masks."""
    x0, y0, x1, y1 = DOCK

    def profile(a, b, fade, peak=255):
        row = bytearray(W)
        for x in range(W):
            t = min(x - a, b - x) / float(fade)
            row[x] = int(peak * max(0.0, min(1.0, t)) ** 1.5)
        return bytes(row)
    body, line = profile(x0, x1, DOCK_FADE), profile(x0, x1, 260)
    empty = bytes(W)
    write_pgm(os.path.join(tmp, "dock.pgm"), W,
              [body if y0 <= y <= y1 else empty for y in range(H)])
    write_pgm(os.path.join(tmp, "dock_lines.pgm"), W,
              [line if y in (y0, y1) else empty for y in range(H)])


def make_background(tmp, out, emblem, title):
    rng = random.Random(1712)

    def T(name):
        return os.path.join(tmp, name)
    mx, my, mr = MOON

    far = ridge(rng, -20, W + 20, 408, 62, 0.56)
    mid = ridge(rng, -20, W + 20, 462, 42, 0.55)
    near = ridge(rng, -20, W + 20, 596, 24, 0.5)
    star_draw = stars(rng)
    castle_draw, lights = castle(rng)
    tree_draw = dead_tree(rng)
    rocks = [jag(rng, r, 5, 3) + [(r[-1][0], H + 5), (r[0][0], H + 5)]
             for r in ([(-5, 660), (40, 642), (96, 650), (150, 668),
                        (210, 690), (260, 714)],
                       [(860, 714), (930, 690), (1010, 676), (1090, 664),
                        (1150, 650), (1230, 644), (1290, 652)])]
    dock_masks(tmp)

    def to_bottom(line):
        return "polygon " + pts(line + [(W + 20, H + 10), (-20, H + 10)])

    parallel(
        # The outline of the window.
        ["-size", "%dx%d" % (W, H), "xc:black", "-fill", "white",
         "-draw", "roundrectangle 0,%d %d,%d %d,%d" % (
             BODY_TOP, W - 1, H - 1, CORNER_RADIUS, CORNER_RADIUS),
         "-draw", "path '%s'" % CREST_PATH, T("mask.png")],
        # Clouds: fractal noise stretched sideways into long bands.
        ["-seed", "31", "-size", "320x360", "plasma:fractal",
         "-colorspace", "gray", "-blur", "0x3",
         "-resize", "%dx%d!" % (W, H), "-level", "50%,95%", T("clouds.miff")],
        # Stone grain for the frame.
        ["-seed", "47", "-size", "640x357", "plasma:fractal",
         "-colorspace", "gray", "-resize", "%dx%d!" % (W, H),
         "(", "+clone", "+noise", "Gaussian", "-colorspace", "gray", ")",
         "-compose", "overlay", "-composite", "-level", "20%,80%",
         T("stone.miff")],
        metal(W, H, GOLD, T("gold.miff")),
        # Title lettering as a mask.
        ["-size", "%dx%d" % (W, H), "xc:black",
         "-font", find_font(FONTS["title"]), "-pointsize", "54",
         "-kerning", "5", "-fill", "white", "-annotate", "+50+103",
         title.upper(), T("title.png")],
        # The moon: a pale disc, darker at the limb, with patchy maria.
        ["-size", "%dx%d" % (mr * 2, mr * 2),
         "radial-gradient:#f8f6ee-#c2c1ba",
         "(", "-seed", "3", "-size", "%dx%d" % (mr * 2, mr * 2),
         "xc:gray50", "+noise", "Random", "-colorspace", "gray",
         "-blur", "0x6", "-auto-level", "-threshold", "58%", "-blur", "0x2.5",
         "-negate", "+level", "82%,100%", ")",
         "-compose", "multiply", "-composite",
         "(", "-seed", "5", "-size", "%dx%d" % (mr * 2, mr * 2),
         "plasma:fractal", "-colorspace", "gray", "-blur", "0x0.7",
         "-auto-level", "+level", "42%,58%", ")",
         "-compose", "softlight", "-composite",
         "(", "-size", "%dx%d" % (mr * 2, mr * 2), "xc:black", "-fill",
         "white", "-draw", "circle %d,%d %d,%d" % (mr, mr, mr, 1), ")",
         "-alpha", "off", "-compose", "copyopacity", "-composite",
         T("moon.miff")],
    )

    sky = [
        "-size", "%dx440" % W, "gradient:#0c111d-#2b3a56",
        "-size", "%dx%d" % (W, H - 440), "xc:#2b3a56", "-append",
        # Moonlight over the sky.
        "(", "-size", "1000x1000", "radial-gradient:#4a5f86-black",
        "-evaluate", "pow", "1.7", ")", "-geometry",
        "+%d+%d" % (mx - 500, my - 500), "-compose", "screen", "-composite",
        # Clouds, lit blue-grey.
        "(", "-size", "%dx%d" % (W, H), "xc:#34445f", T("clouds.miff"),
        "-compose", "multiply", "-composite", ")",
        "-compose", "screen", "-composite",
    ] + star_draw + screen(
        # A few bright stars with a halo.
        soft(["circle 1168,170 1171,170", "circle 640,150 642,150",
              "circle 96,205 99,205", "circle 1010,78 1012,78",
              "circle 430,92 432,92"], 3, "#8fa6d8")
    ) + screen(
        # The moon's close halo, then the moon.
        soft(["circle %d,%d %d,%d" % (mx, my, mx + mr + 6, my)], 18,
             "#7e8fae")
    ) + [
        T("moon.miff"), "-geometry", "+%d+%d" % (mx - mr, my - mr),
        "-compose", "over", "-composite",
    ] + screen(
        # Thin clouds drifting over the lower half of the moon.
        soft(["ellipse %d,%d 150,5 0,360" % (mx - 10, my + 20),
              "ellipse %d,%d 110,4 0,360" % (mx + 40, my + 36)], 4,
             "#3c4a63")
    ) + [
        # Far ridge, haze, middle ridge, haze.
        "-fill", "#1c2638", "-draw", to_bottom(far),
    ] + screen(soft(["ellipse 640,448 760,26 0,360"], 14, "#3d4d6b")) + [
        "-fill", "#151c29", "-draw", to_bottom(mid),
    ] + screen(soft(["ellipse 640,505 820,22 0,360"], 12, "#2d3a52")) + [
        # The crag with the castle, its lit windows and their glow.
        "-fill", SILHOUETTE] + castle_draw + screen(
        soft(lights, 5, "#c46a1c")) + ["-fill", "#ffc467"] + sum(
        (["-draw", d] for d in lights), []) + [
        # Near ground, the dead tree, low mist.
        "-fill", "#0e1118", "-draw", to_bottom(near),
        "-stroke", "#0e1118", "-fill", "none"] + tree_draw + [
        "-stroke", "none"] + screen(
        soft(["ellipse 360,612 460,20 0,360", "ellipse 980,636 420,18 0,360",
              "ellipse 640,676 640,14 0,360"], 12, "#2c3850")) + [
        # Foreground rocks in front of the mist.
        "-fill", "#0c0f15"] + sum((["-draw", "polygon " + pts(r)]
                                   for r in rocks), []) + [
        # Vignette.
        "(", "-size", "1700x1200", "radial-gradient:white-#2a2a2a",
        "-gravity", "center", "-crop", "%dx%d+0+0" % (W, H), "+repage",
        "-gravity", "northwest", ")", "-compose", "multiply", "-composite",
    ]

    wx0, wy0, wx1, wy1 = WEB_FRAME
    gx0, gy0, gx1, gy1 = BAR_GROOVE
    cx, cy = CLOSE_CENTRE
    dist = T("dist.png")
    panels = paint(
        # Shadow around the web page frame.
        flat(INK), soft(["rectangle %d,%d %d,%d" % (wx0 - 6, wy0 - 6,
                                                    wx1 + 6, wy1 + 6)], 8)
        [:-1] + ["-evaluate", "multiply", "0.85", ")"]
    ) + [
        # The web page's inset, its gold line and corner brackets.
        "-fill", PANEL, "-draw", "rectangle %d,%d %d,%d" % WEB_FRAME,
        "-fill", "none", "-stroke", "#8a6a38", "-strokewidth", "1",
        "-draw", "rectangle %.1f,%.1f %.1f,%.1f" % (wx0 + .5, wy0 + .5,
                                                    wx1 - .5, wy1 - .5),
        "-stroke", "#d9b467", "-strokewidth", "2",
    ]
    for (x, y, sx, sy) in [(wx0 - 3, wy0 - 3, 1, 1), (wx1 + 3, wy0 - 3, -1, 1),
                           (wx0 - 3, wy1 + 3, 1, -1),
                           (wx1 + 3, wy1 + 3, -1, -1)]:
        panels += ["-draw", "polyline %d,%d %d,%d %d,%d" % (
            x, y + sy * 22, x, y, x + sx * 22, y)]
    panels += ["-stroke", "none"] + paint(flat(INK), [T("dock.pgm")]) + \
        paint(flat("#c9a25a"), [T("dock_lines.pgm")]) + [
        # A groove for the bar, so the dock reads as one before it shows.
        "-fill", "#080a0e", "-draw", "rectangle %d,%d %d,%d" % BAR_GROOVE,
        "-fill", "none", "-stroke", "#232833", "-strokewidth", "1",
        "-draw", "line %d,%.1f %d,%.1f" % (gx0, gy1 + .5, gx1, gy1 + .5),
        "-stroke", "none",
    ] + paint(
        # A dark socket with a thin bronze ring for the close button.
        flat(INK), soft(["circle %d,%d %d,%d" % (cx, cy, cx + 22, cy)], 4)
    ) + [
        "-fill", "#0c0e13", "-stroke", "#6b4f28", "-strokewidth", "1.2",
        "-draw", "circle %d,%d %d,%d" % (cx, cy, cx + 19, cy),
        "-stroke", "none",
    ]

    frame = (
        # Inner shadow of the frame on the scene.
        paint(flat(INK), ["(", dist, "-level", "%d,3000" % (FRAME * 100),
                          "-negate", "-evaluate", "pow", "1.6", ")"])
        # Stone, rounded across its width.
        + paint(["(", T("stone.miff"), "+level-colors", "#17191f,#40424a",
                 "(", dist, "-level", "0,%d" % (FRAME * 100),
                 "-function", "sinusoid", "0.5,0,0.6,0.4", ")",
                 "-compose", "multiply", "-composite", ")"],
                band(dist, 0, FRAME))
        # Gold edging outside, a dark lip and a gold line inside.
        + paint(flat("#24170a"), band(dist, 0, 1))
        + paint(T("gold.miff"), band(dist, 1, 3))
        + paint(flat("#1a1208"), band(dist, FRAME - 2, FRAME - 1))
        + paint(T("gold.miff"), band(dist, FRAME - 1, FRAME))
        # Gold studs on the middle of the sides and the bottom.
        + ["-stroke", "#2a1a08", "-strokewidth", "1", "-fill", "#e0bb6a"]
        + sum((["-draw", "polygon %d,%.1f %.1f,%d %d,%.1f %.1f,%d" % (
            x, y - 6.5, x + 4.5, y, x, y + 6.5, x - 4.5, y)]
            for x, y in [(7, 377), (W - 7, 377)]), [])
        + ["-draw", "polygon %.1f,%d %d,%.1f %.1f,%d %d,%.1f" % (
            634.5, H - 7, 640, H - 11.5, 645.5, H - 7, 640, H - 2.5),
           "-stroke", "none"]
    )

    title = (
        # Drop shadow, dark outline, gold face with a soft bevel.
        paint(flat("#050609"),
              ["(", T("title.png"), "-roll", "+2+3", "-blur", "0x5",
               "-evaluate", "multiply", "1.3", ")"])
        + paint(flat("#2a1a08"),
                ["(", T("title.png"), "-morphology", "Dilate", "Disk:1.6",
                 ")"])
        + paint(["(", "-size", "1x1", "xc:#7d5220", "xc:#e9c878",
                 "xc:#fff1c4", "xc:#d9ab58", "xc:#8f6226", "xc:#c8974a",
                 "-append", "-filter", "triangle", "-resize", "1x52!",
                 "-scale", "%dx52!" % W, "-background", "#7d5220",
                 "-splice", "0x58", "-extent", "%dx%d" % (W, H),
                 "(", T("title.png"), "-blur", "0x1", "-shade", "300x45",
                 "-auto-level", "-level", "25%,100%", ")",
                 "-compose", "overlay", "-composite", ")"],
                [T("title.png")])
        # A hairline under the title, fading to the right.
        + paint(flat("#c9a25a"),
                ["(", "-size", "%dx%d" % (W, H), "xc:black", "-fill", "white",
                 "-draw", "rectangle 52,117 400,117",
                 "(", "-size", "%dx%d" % (H, W), "gradient:white-black",
                 "-rotate", "-90", "-level", "0%,70%", ")",
                 "-compose", "multiply", "-composite", ")"])
        + ["-fill", "#e2c173", "-draw",
           "polygon 52,112 57,117 52,122 47,117"]
    )

    ex, ey = EMBLEM_POS
    crest = [
        # The emblem casts a soft shadow onto the crest.
        "(", emblem, "-background", INK, "-shadow", "80x4+0+3", ")",
        "-geometry", "+%d+%d" % (ex - 8, ey - 8 + 3), "-compose", "over",
        "-composite",
        emblem, "-geometry", "+%d+%d" % (ex, ey), "-compose", "over",
        "-composite",
    ]

    parallel(distance_map(T("mask.png"), dist), sky + [T("sky.miff")])
    run([T("sky.miff")] + panels + frame + title + crest + [
        T("mask.png"), "-alpha", "off", "-compose", "copyopacity",
        "-composite"] + finish("PNG32:" + out))


# ------------------------------------------------------------------ icon ---

ICON_SIZES = (16, 32, 48, 64, 128)


def make_icon(tmp, out):
    files = [os.path.join(tmp, "icon%d.png" % n) for n in ICON_SIZES]
    for n, f in zip(ICON_SIZES, files):
        make_emblem(tmp, n, f)
    # Uncompressed 32-bit entries with alpha: every icon reader handles
    # them, and the resource compiler copies them as they are.
    run(files + PNG_OPTS + ["ICO:" + out])


def default_title():
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "profile"))
    import launcher_profile
    return launcher_profile.load()["game_title"]


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: make_art.py OUTDIR [TITLE]\n")
        return 2
    outdir = argv[1]
    title = argv[2] if len(argv) == 3 else default_title()
    try:
        os.makedirs(outdir, exist_ok=True)
        with tempfile.TemporaryDirectory(prefix="make_art_") as tmp:
            made = {name: os.path.join(tmp, name) for name in
                    ("background.png", "close.png", "app.ico")}
            emblem = os.path.join(tmp, "emblem.png")
            make_emblem(tmp, EMBLEM_SIZE, emblem)
            parallel(lambda: make_background(tmp, made["background.png"],
                                             emblem, title),
                     lambda: (make_close(tmp, made["close.png"]),
                              make_icon(tmp, made["app.ico"])))
            # Each file is copied beside its final name and then renamed
            # over it, so a reader never sees half a picture.
            for name, src in made.items():
                dst = os.path.join(outdir, name)
                part = dst + ".part"
                try:
                    shutil.copyfile(src, part)
                    os.replace(part, dst)
                finally:
                    if os.path.exists(part):
                        os.remove(part)
    except (ArtError, OSError) as e:
        sys.stderr.write("make_art: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
