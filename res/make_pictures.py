#!/usr/bin/env python3
"""Draws the wizard side picture, the two logos and the application icon.

The pictures are generated from geometry instead of being edited by hand so
that they stay reproducible: running the script twice yields identical bytes.
Only the standard library is used; the build machines carry no imaging
packages.

Usage: make_pictures.py [output-folder]   (default: the folder of this script)
"""

import math
import os
import struct
import sys

# Brand palette, shared by every picture so that they match on screen.
NAVY = (10, 34, 80)
TEAL = (9, 116, 132)
INK = (14, 40, 92)          # main word of the logos
INK_LIGHT = (34, 84, 146)   # secondary word of the logos
RULE = (22, 134, 150)       # separator between the two words
WHITE = (255, 255, 255)


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(a, b, t) for a, b in zip(c0, c1))


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def to_byte(v):
    return int(clamp(v, 0.0, 255.0) + 0.5)


# ---------------------------------------------------------------------------
# File writers

def write_bmp(path, width, height, rows):
    """rows: top-down list of rows of (r, g, b) floats in 0..255."""
    stride = (width * 3 + 3) & ~3
    pad = b"\0" * (stride - width * 3)
    body = bytearray()
    for row in reversed(rows):  # BMP stores the bottom row first
        for r, g, b in row:
            body += bytes((to_byte(b), to_byte(g), to_byte(r)))
        body += pad
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body),
                         0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + bytes(body))


def icon_image(size, pixels):
    """pixels: top-down rows of (r, g, b, a) floats, colour not premultiplied."""
    xor = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            alpha = to_byte(a * 255.0)
            if alpha == 0:
                xor += b"\0\0\0\0"
                bits[x >> 3] |= 0x80 >> (x & 7)
            else:
                xor += bytes((to_byte(b), to_byte(g), to_byte(r), alpha))
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def write_ico(path, images):
    """images: list of (size, encoded image) pairs."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    blobs = b""
    for size, blob in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32,
                               len(blob), offset)
        offset += len(blob)
        blobs += blob
    with open(path, "wb") as f:
        f.write(directory + entries + blobs)


# ---------------------------------------------------------------------------
# Shapes for the glyphs and the icon.  Coordinates have y growing upwards.

class Rect:
    def __init__(self, x0, y0, x1, y1):
        self.bbox = (min(x0, x1), min(y0, y1), max(x0, x1), max(y0, y1))

    def contains(self, x, y):
        x0, y0, x1, y1 = self.bbox
        return x0 <= x <= x1 and y0 <= y <= y1


class Ring:
    """Elliptical stroke of the given width, optionally cut to an arc that
    runs counter-clockwise from `start` to `end` degrees (butt ends)."""

    def __init__(self, cx, cy, rx, ry, width, start=0.0, end=360.0):
        h = width / 2.0
        self.cx, self.cy, self.rx, self.ry = cx, cy, rx, ry
        self.ox, self.oy = rx + h, ry + h
        self.ix, self.iy = max(rx - h, 1e-6), max(ry - h, 1e-6)
        self.start = start
        self.sweep = end - start
        self.bbox = (cx - self.ox, cy - self.oy, cx + self.ox, cy + self.oy)

    def contains(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        if (dx / self.ox) ** 2 + (dy / self.oy) ** 2 > 1.0:
            return False
        if (dx / self.ix) ** 2 + (dy / self.iy) ** 2 < 1.0:
            return False
        if self.sweep >= 360.0:
            return True
        a = math.degrees(math.atan2(dy / self.ry, dx / self.rx))
        return (a - self.start) % 360.0 <= self.sweep


class Poly:
    def __init__(self, points):
        self.points = points
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.bbox = (min(xs), min(ys), max(xs), max(ys))

    def contains(self, x, y):
        inside = False
        pts = self.points
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y):
                if x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    inside = not inside
            j = i
        return inside


class RoundRect:
    def __init__(self, x0, y0, x1, y1, radius):
        self.bbox = (x0, y0, x1, y1)
        self.r = radius

    def contains(self, x, y):
        x0, y0, x1, y1 = self.bbox
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        r = self.r
        cx = clamp(x, x0 + r, x1 - r)
        cy = clamp(y, y0 + r, y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def line_intersection(p0, p1, q0, q1):
    (x1, y1), (x2, y2) = p0, p1
    (x3, y3), (x4, y4) = q0, q1
    d = (x1 - x2) * (y3 - y4) - (y1 - y2) * (x3 - x4)
    t = ((x1 - x3) * (y3 - y4) - (y1 - y3) * (x3 - x4)) / d
    return (x1 + t * (x2 - x1), y1 + t * (y2 - y1))


# ---------------------------------------------------------------------------
# A small geometric sans serif holding just the letters the logos need.
# Units: baseline at 0, x-height 10; `w` is the stem weight.

X_HEIGHT = 10.0
CAP = 14.0
ASCENDER = 14.8
OVERSHOOT = 0.22  # round letters poke out a little to look as tall as flat ones


def bowl(w, cx=None):
    """Full round bowl spanning the x-height, as in o, a and e."""
    half = X_HEIGHT / 2.0 + OVERSHOOT
    cx = half if cx is None else cx
    return cx, X_HEIGHT / 2.0, half - w / 2.0, half


def glyph(ch, w):
    """Returns (advance width without spacing, shapes) for one letter."""
    if ch == "o":
        cx, cy, r, half = bowl(w)
        return 2 * half, [Ring(cx, cy, r * 1.02, r, w)]
    if ch == "e":
        cx, cy, r, half = bowl(w)
        bar = w * 0.82
        return 2 * half, [
            Ring(cx, cy, r * 1.02, r, w, 0.0, 318.0),
            Rect(cx - r, cy - bar * 0.55, cx + r * 1.02 + w / 2.0, cy + bar * 0.45),
        ]
    if ch == "a":
        cx, cy, r, half = bowl(w)
        return 2 * half, [
            Ring(cx, cy, r, r, w),
            Rect(2 * half - w, 0.0, 2 * half, X_HEIGHT),
        ]
    if ch == "l":
        return w, [Rect(0.0, 0.0, w, ASCENDER)]
    if ch == "v":
        width = 9.6
        # horizontal thickness of a diagonal that is `w` thick across
        dx = w
        for _ in range(4):
            run = width / 2.0 - dx / 2.0
            dx = w * math.hypot(run, X_HEIGHT) / X_HEIGHT
        mid = width / 2.0
        foot = dx * 0.5
        apex = line_intersection((dx, X_HEIGHT), (mid + foot, 0.0),
                                 (width - dx, X_HEIGHT), (mid - foot, 0.0))
        return width, [Poly([
            (0.0, X_HEIGHT), (dx, X_HEIGHT), apex, (width - dx, X_HEIGHT),
            (width, X_HEIGHT), (mid + foot / 2.0 + w * 0.25, 0.0),
            (mid - foot / 2.0 - w * 0.25, 0.0),
        ])]
    if ch == "r":
        r = 3.3
        cy = X_HEIGHT + OVERSHOOT - w / 2.0 - r
        return 6.4, [
            Rect(0.0, 0.0, w, X_HEIGHT),
            Ring(w / 2.0 + r, cy, r, r, w, 55.0, 180.0),
        ]
    if ch == "m":
        span = 5.6
        r = span / 2.0
        cy = X_HEIGHT + OVERSHOOT - w / 2.0 - r
        shapes = [Rect(0.0, 0.0, w, X_HEIGHT)]
        for k in range(2):
            shapes.append(Ring(w / 2.0 + span * k + r, cy, r, r, w, 0.0, 180.0))
            leg = w / 2.0 + span * (k + 1)
            shapes.append(Rect(leg - w / 2.0, 0.0, leg + w / 2.0, cy))
        return w + 2 * span, shapes
    if ch == "s":
        total = X_HEIGHT + 2 * OVERSHOOT - w   # both bowls, centre lines
        ry_top, ry_bottom = total * 0.235, total * 0.265
        rx_top, rx_bottom = 3.0, 3.25
        cx = rx_bottom + w / 2.0
        top = X_HEIGHT + OVERSHOOT - w / 2.0 - ry_top
        bottom = -OVERSHOOT + w / 2.0 + ry_bottom
        return 2 * cx, [
            Ring(cx, top, rx_top, ry_top, w, 28.0, 270.0),
            Ring(cx, bottom, rx_bottom, ry_bottom, w, 206.0, 450.0),
        ]
    if ch == "P":
        base = 5.8
        ry = (CAP - base - w) / 2.0
        knee = 4.8
        return knee + ry + w / 2.0, [
            Rect(0.0, 0.0, w, CAP),
            Rect(0.0, CAP - w, knee, CAP),
            Rect(0.0, base, knee, base + w),
            Ring(knee, base + w / 2.0 + ry, ry * 1.05, ry, w, 270.0, 450.0),
        ]
    if ch == "T":
        width = 10.4
        return width, [
            Rect(0.0, CAP - w, width, CAP),
            Rect(width / 2.0 - w / 2.0, 0.0, width / 2.0 + w / 2.0, CAP),
        ]
    raise ValueError("no glyph for %r" % ch)


# Pairs whose shapes leave too much or too little air between them.
KERNING = {
    ("T", "e"): -1.5,
    ("P", "e"): -0.3,
    ("v", "o"): -0.3,
    ("o", "v"): -0.3,
    ("r", "a"): -0.2,
    ("r", "o"): -0.2,
    ("e", "l"): 0.2,
    ("l", "v"): -0.1,
}


def layout(text, w, tracking):
    """Places the glyphs; returns (total width, [(pen x, shapes)])."""
    pen = 0.0
    placed = []
    prev = None
    for ch in text:
        if prev is not None:
            pen += tracking + KERNING.get((prev, ch), 0.0)
        width, shapes = glyph(ch, w)
        placed.append((pen, shapes))
        pen += width
        prev = ch
    return pen, placed


def text_width(text, scale, w, tracking):
    return layout(text, w, tracking)[0] * scale


def draw_text(rows, text, left, baseline, scale, w, colour,
              tracking=1.5, samples=6):
    """Paints `text` anti-aliased onto rows (top-down) with its baseline at
    pixel row `baseline` and scale pixels per font unit."""
    height = len(rows)
    width = len(rows[0])
    _, placed = layout(text, w, tracking)
    offsets = [(i + 0.5) / samples for i in range(samples)]
    total = float(samples * samples)
    for pen, shapes in placed:
        bx0 = min(s.bbox[0] for s in shapes) + pen
        by0 = min(s.bbox[1] for s in shapes)
        bx1 = max(s.bbox[2] for s in shapes) + pen
        by1 = max(s.bbox[3] for s in shapes)
        px0 = max(0, int(math.floor(left + bx0 * scale)))
        px1 = min(width - 1, int(math.ceil(left + bx1 * scale)))
        py0 = max(0, int(math.floor(baseline - by1 * scale)))
        py1 = min(height - 1, int(math.ceil(baseline - by0 * scale)))
        for py in range(py0, py1 + 1):
            row = rows[py]
            for px in range(px0, px1 + 1):
                hits = 0
                for oy in offsets:
                    v = (baseline - (py + oy)) / scale
                    for ox in offsets:
                        u = (px + ox - left) / scale - pen
                        for s in shapes:
                            if s.contains(u, v):
                                hits += 1
                                break
                if hits:
                    row[px] = mix(row[px], colour, hits / total)


# ---------------------------------------------------------------------------
# Logos

def draw_logo(width, height, main_scale, main_weight, second_scale,
              second_weight, gap):
    rows = [[WHITE] * width for _ in range(height)]
    tracking = 1.3
    main_w = text_width("Pelvora", main_scale, main_weight, tracking)
    second_w = text_width("Tesmoro", second_scale, second_weight, tracking)
    rule = max(1, int(round(height / 36.0)))
    total = main_w + gap + rule + gap + second_w
    left = round((width - total) / 2.0)
    # The words have no descenders: centre the span from baseline to the top
    # of the tallest ascender.
    ink = ASCENDER * main_scale
    baseline = round((height + ink) / 2.0)
    draw_text(rows, "Pelvora", left, baseline, main_scale, main_weight, INK,
              tracking)
    x = int(round(left + main_w + gap))
    top = int(round(baseline - CAP * main_scale))
    for y in range(top, baseline):
        for dx in range(rule):
            rows[y][x + dx] = RULE
    draw_text(rows, "Tesmoro", x + rule + gap, baseline, second_scale,
              second_weight, INK_LIGHT, tracking)
    return rows


# ---------------------------------------------------------------------------
# Side picture

def side_picture(width, height):
    rows = []
    # Concentric arcs around a point below the right edge, as if light
    # spread from outside the picture.
    ocx, ocy = width * 1.05, height * 1.08
    radii = [70.0 + 34.0 * k for k in range(9)]
    for y in range(height):
        row = []
        for x in range(width):
            fx, fy = x + 0.5, y + 0.5
            t = clamp(fy / height * 0.88 + fx / width * 0.12)
            c = mix(NAVY, TEAL, smoothstep(0.0, 1.0, t))
            # broad soft diagonal bands
            d = (fx * 0.5 + fy * 0.866)
            light = 0.0
            for centre, sigma, amount in ((95.0, 26.0, 0.07),
                                          (165.0, 12.0, 0.05),
                                          (250.0, 34.0, 0.06)):
                light += amount * math.exp(-((d - centre) / sigma) ** 2)
            # glow in the upper left corner
            g = math.hypot(fx - width * 0.15, fy - height * 0.08)
            light += 0.10 * math.exp(-(g / 110.0) ** 2)
            # thin arcs, fading towards the top of the picture
            dist = math.hypot(fx - ocx, fy - ocy)
            fade = smoothstep(0.0, 0.9, fy / height)
            for k, r in enumerate(radii):
                cover = clamp(0.9 - abs(dist - r))
                if cover:
                    light += cover * fade * (0.16 - 0.012 * k)
            c = mix(c, WHITE, clamp(light))
            row.append(c)
        rows.append(row)

    # The install symbol on a frosted tile ties the picture to the icon.
    size = 56
    ex, ey = (width - size) // 2, 52
    tile = RoundRect(0.0, 0.0, 1.0, 1.0, 0.2)
    symbol = install_symbol(size)
    samples = 6
    offsets = [(i + 0.5) / samples for i in range(samples)]
    for y in range(size):
        for x in range(size):
            glass = mark = 0
            for oy in offsets:
                v = 1.0 - (y + oy) / size
                for ox in offsets:
                    u = (x + ox) / size
                    if tile.contains(u, v):
                        glass += 1
                        if any(s.contains(u, v) for s in symbol):
                            mark += 1
            n = float(samples * samples)
            c = rows[ey + y][ex + x]
            c = mix(c, WHITE, 0.13 * glass / n)
            rows[ey + y][ex + x] = mix(c, WHITE, 0.92 * mark / n)
    return rows


# ---------------------------------------------------------------------------
# Install symbol, shared by the side picture and the icon.  The icon puts it
# on a rounded blue tile.

def install_symbol(size):
    """Arrow dropping into a tray, in unit coordinates; edges are snapped to
    the pixel grid of `size` so that small renderings stay crisp."""
    px = 1.0 / size

    def snap(v):
        return round(v * size) / size

    shaft_half = max(snap(0.075), px)
    thick = max(snap(0.09), px)
    return [
        Rect(0.5 - shaft_half, snap(0.50), 0.5 + shaft_half, snap(0.80)),
        Poly([(snap(0.26), snap(0.53)), (snap(0.74), snap(0.53)),
              (0.5, snap(0.31) - 0.5 * px)]),
        Rect(snap(0.20), snap(0.18), snap(0.80), snap(0.18) + thick),
        Rect(snap(0.20), snap(0.18), snap(0.20) + thick, snap(0.40)),
        Rect(snap(0.80) - thick, snap(0.18), snap(0.80), snap(0.40)),
    ]


def icon_pixels(size):
    margin = {16: 0.0, 32: 1.0, 48: 1.0}.get(size, size / 32.0) / size
    tile = RoundRect(margin, margin, 1.0 - margin, 1.0 - margin,
                     0.19 * (1.0 - 2 * margin))
    glyph_shapes = install_symbol(size)
    top_colour = (34, 98, 176)
    bottom_colour = (10, 128, 142)

    samples = 8
    offsets = [(i + 0.5) / samples for i in range(samples)]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            alpha = 0.0
            for oy in offsets:
                v = 1.0 - (y + oy) / size  # y up inside the shapes
                for ox in offsets:
                    u = (x + ox) / size
                    if not tile.contains(u, v):
                        continue
                    if any(s.contains(u, v) for s in glyph_shapes):
                        c = WHITE
                    else:
                        c = mix(bottom_colour, top_colour, v)
                        # gentle sheen on the upper half
                        c = mix(c, WHITE, 0.10 * smoothstep(0.45, 1.0, v))
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
                    alpha += 1.0
            if alpha:
                row.append((acc[0] / alpha, acc[1] / alpha, acc[2] / alpha,
                            alpha / (samples * samples)))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------

def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)

    write_bmp(os.path.join(out, "side.bmp"), 153, 306, side_picture(153, 306))
    write_bmp(os.path.join(out, "logo.bmp"), 248, 36,
              draw_logo(248, 36, 1.45, 2.3, 1.0, 1.9, 12))
    write_bmp(os.path.join(out, "logo_sid.bmp"), 360, 64,
              draw_logo(360, 64, 2.35, 2.3, 1.6, 1.9, 20))
    write_ico(os.path.join(out, "LumoInstall.ico"),
              [(s, icon_image(s, icon_pixels(s))) for s in (16, 32, 48)])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
