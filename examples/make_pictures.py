#!/usr/bin/env python3
"""Draws the demo product's six wizard pictures as BMP files.

    python3 examples/make_pictures.py OUTPUT_DIR

Writes confirm.bmp, directory.bmp, progress-low.bmp, progress-high.bmp (438 x 155)
and header.bmp, spare.bmp (495 x 60): 24-bit, uncompressed, rows bottom-up, the
form the installer draws. Pure Python, no imaging library: every shape is a
signed distance function, and a pixel's coverage of the shape's edge gives the
anti-aliasing. The pictures sit on the wizard's grey (0xEBEBEB), so the cards
are drawn on that grey with a soft shadow.
"""
import math
import os
import struct
import sys

GREY = (235, 235, 235)  # the wizard's background
DEEP = (22, 62, 128)
BLUE = (38, 110, 196)
TEAL = (28, 160, 158)
WHITE = (255, 255, 255)
SHADOW = (60, 70, 90)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# --- Shapes: distance from a point, negative inside --------------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def round_rect(x0, y0, x1, y1, r):
    cx, cy, hw, hh = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hw, abs(y - cy) - hh
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    return d


def capsule(ax, ay, bx, by, r):
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy or 1e-9

    def d(x, y):
        t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / length2))
        return math.hypot(x - ax - vx * t, y - ay - vy * t) - r
    return d


def convex(points, inset=0.0):
    """A convex polygon; `inset` shrinks it (a gap between touching faces)."""
    mx = sum(p[0] for p in points) / len(points)
    my = sum(p[1] for p in points) / len(points)
    edges = []
    for i in range(len(points)):
        (ax, ay), (bx, by) = points[i - 1], points[i]
        nx, ny = by - ay, ax - bx
        if (mx - ax) * nx + (my - ay) * ny > 0:  # make the normal point outwards
            nx, ny = -nx, -ny
        n = math.hypot(nx, ny)
        edges.append((ax, ay, nx / n, ny / n))

    def d(x, y):
        return max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges) + inset
    return d


def arc(cx, cy, r, width, start, end):
    """A round-capped arc, angles in turns clockwise from twelve o'clock."""
    a0, a1 = start * 2 * math.pi, end * 2 * math.pi
    ends = [(cx + r * math.sin(a), cy - r * math.cos(a)) for a in (a0, a1)]

    def d(x, y):
        t = math.atan2(x - cx, -(y - cy)) % (2 * math.pi)
        if a0 <= t <= a1:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - width / 2
    return d


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


# --- The canvas -----------------------------------------------------------------

class Canvas:
    def __init__(self, width, height, color):
        self.w, self.h = width, height
        self.px = [list(color) for _ in range(width * height)]

    def fill(self, color_at):
        for y in range(self.h):
            for x in range(self.w):
                self.px[y * self.w + x] = list(color_at(x + 0.5, y + 0.5))

    def paint(self, shape, color, box, alpha=1.0, blur=1.0):
        """Blends `color` (a colour or a function of x, y) where `shape` covers.

        `box` bounds the work; `blur` widens the edge for soft shadows.
        """
        x0, y0, x1, y1 = (int(math.floor(box[0])), int(math.floor(box[1])),
                          int(math.ceil(box[2])), int(math.ceil(box[3])))
        for y in range(max(0, y0), min(self.h, y1)):
            row = y * self.w
            for x in range(max(0, x0), min(self.w, x1)):
                d = shape(x + 0.5, y + 0.5)
                cover = min(1.0, max(0.0, 0.5 - d / blur)) * alpha
                if cover <= 0:
                    continue
                c = color(x + 0.5, y + 0.5) if callable(color) else color
                p = self.px[row + x]
                for i in range(3):
                    p[i] += (c[i] - p[i]) * cover

    def bmp(self):
        stride = (self.w * 3 + 3) & ~3
        rows = []
        for y in range(self.h - 1, -1, -1):  # bottom-up
            row = bytearray()
            for x in range(self.w):
                r, g, b = (max(0, min(255, int(round(v)))) for v in self.px[y * self.w + x])
                row += bytes((b, g, r))
            row += bytes(stride - self.w * 3)
            rows.append(bytes(row))
        pixels = b"".join(rows)
        header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(pixels),
                           2835, 2835, 0, 0)
        return header + info + pixels


# --- Pieces -----------------------------------------------------------------------

def card_gradient(x0, y0, x1, y1):
    """Deep blue at the top left to teal at the bottom right."""
    def color(x, y):
        t = ((x - x0) / (x1 - x0)) * 0.7 + ((y - y0) / (y1 - y0)) * 0.3
        return mix(mix(DEEP, BLUE, min(1, t * 1.6)), TEAL, max(0, t - 0.55) / 0.45)
    return color


def card(c, x0, y0, x1, y1, r=14):
    """A rounded card with a soft shadow, and two faint circles for depth."""
    c.paint(round_rect(x0 + 1, y0 + 4, x1 - 1, y1 + 2, r), SHADOW,
            (x0 - 8, y0 - 4, x1 + 8, y1 + 12), alpha=0.22, blur=7)
    inside = round_rect(x0, y0, x1, y1, r)
    c.paint(inside, card_gradient(x0, y0, x1, y1), (x0, y0, x1, y1))
    for cx, cy, radius, a in ((x1 - 40, y0 + 10, 70, 0.07), (x1 - 120, y1 + 30, 50, 0.05)):
        disc = circle(cx, cy, radius)
        c.paint(lambda x, y, disc=disc: max(disc(x, y), inside(x, y)), WHITE,
                (cx - radius, cy - radius, cx + radius, cy + radius), alpha=a)


def cube(c, cx, cy, s, alpha=1.0):
    """The product's logo: a package seen from above, three faces apart."""
    h, w = s / 2, s * 0.433
    top = [(cx, cy - h), (cx + w, cy - h / 2), (cx, cy), (cx - w, cy - h / 2)]
    left = [(cx - w, cy - h / 2), (cx, cy), (cx, cy + h), (cx - w, cy + h / 2)]
    right = [(cx, cy), (cx + w, cy - h / 2), (cx + w, cy + h / 2), (cx, cy + h)]
    box = (cx - w - 2, cy - h - 2, cx + w + 2, cy + h + 2)
    gap = max(1.0, s / 40)
    c.paint(convex(top, gap), WHITE, box, alpha)
    c.paint(convex(left, gap), (214, 232, 248), box, alpha)
    c.paint(convex(right, gap), (170, 210, 236), box, alpha)
    # The tape across the lid.
    c.paint(capsule(cx - w / 2, cy - h * 0.75, cx + w / 2, cy - h * 0.25, max(1.2, s / 28)),
            (150, 196, 230), box, alpha)


def folder(c, cx, cy, s):
    w, h = s * 0.55, s * 0.4
    back = round_rect(cx - w, cy - h, cx + w, cy + h, s * 0.06)
    tab = round_rect(cx - w, cy - h - s * 0.1, cx - w + s * 0.42, cy - h + s * 0.1, s * 0.06)
    c.paint(lambda x, y: min(back(x, y), tab(x, y)), (170, 210, 236),
            (cx - w - 2, cy - h - s * 0.12, cx + w + 2, cy + h + 2))
    front = convex([(cx - w * 0.92, cy - h * 0.45), (cx + w * 1.08, cy - h * 0.45),
                    (cx + w * 0.98, cy + h), (cx - w, cy + h)])
    c.paint(lambda x, y: max(front(x, y), back(x, y) - 0.01), WHITE,
            (cx - w - 2, cy - h, cx + w * 1.1 + 2, cy + h + 2))
    cube(c, cx + w * 0.05, cy + h * 0.25, s * 0.36, alpha=0.9)


def progress_ring(c, cx, cy, r, share):
    c.paint(ring(cx, cy, r, 7), WHITE, (cx - r - 6, cy - r - 6, cx + r + 6, cy + r + 6),
            alpha=0.22)
    c.paint(arc(cx, cy, r, 7, 0.0, share), WHITE,
            (cx - r - 6, cy - r - 6, cx + r + 6, cy + r + 6))
    cube(c, cx, cy, r * 1.05)


def check(c, cx, cy, s, color):
    c.paint(capsule(cx - s * 0.45, cy, cx - s * 0.1, cy + s * 0.35, s * 0.12), color,
            (cx - s, cy - s, cx + s, cy + s))
    c.paint(capsule(cx - s * 0.1, cy + s * 0.35, cx + s * 0.5, cy - s * 0.35, s * 0.12), color,
            (cx - s, cy - s, cx + s, cy + s))


def text_lines(c, x, y, widths):
    """Bars that stand for a title and lines of text."""
    for i, width in enumerate(widths):
        thick = 4.5 if i == 0 else 2.8
        alpha = 0.95 if i == 0 else 0.55
        yy = y + (0 if i == 0 else 10 + 11 * i)
        c.paint(capsule(x, yy, x + width, yy, thick), WHITE,
                (x - 6, yy - 6, x + width + 6, yy + 6), alpha)


def steps(c, x0, x1, y, current):
    """The three steps of the wizard; the current one stands out."""
    xs = [x0 + (x1 - x0) * i / 2 for i in range(3)]
    for i in range(2):
        done = i < current
        c.paint(capsule(xs[i] + 11, y, xs[i + 1] - 11, y, 1.5), WHITE,
                (xs[i], y - 4, xs[i + 1], y + 4), 0.85 if done else 0.35)
    for i, x in enumerate(xs):
        box = (x - 16, y - 16, x + 16, y + 16)
        if i < current:
            c.paint(circle(x, y, 8), WHITE, box)
            check(c, x, y, 7, BLUE)
        elif i == current:
            c.paint(circle(x, y, 13), WHITE, box, 0.25)
            c.paint(circle(x, y, 8.5), WHITE, box)
            c.paint(circle(x, y, 3.5), TEAL, box)
        else:
            c.paint(ring(x, y, 7, 2), WHITE, box, 0.6)


# --- A small stroke font for the word mark -----------------------------------------

LETTERS = {  # strokes in a box one unit high; ("arc", cx, cy, r, from, to) in turns
    "D": [(0, 0, 0, 1), (0, 0, 0.28, 0), (0, 1, 0.28, 1), ("arc", 0.28, 0.5, 0.5, 0.0, 0.5)],
    "E": [(0, 0, 0, 1), (0, 0, 0.58, 0), (0, 0.5, 0.48, 0.5), (0, 1, 0.58, 1)],
    "M": [(0, 1, 0, 0), (0, 0, 0.38, 0.62), (0.38, 0.62, 0.76, 0), (0.76, 0, 0.76, 1)],
    "O": [("arc", 0.5, 0.5, 0.5, 0.0, 1.0)],
}
ADVANCE = {"D": 1.08, "E": 0.86, "M": 1.1, "O": 1.3}


def word(c, text, x, y, height, stroke, color, alpha=1.0):
    for ch in text:
        for s in LETTERS[ch]:
            if s[0] == "arc":
                _, ax, ay, r, a0, a1 = s
                shape = arc(x + ax * height, y + ay * height, r * height, stroke, a0, a1)
            else:
                shape = capsule(x + s[0] * height, y + s[1] * height, x + s[2] * height,
                                y + s[3] * height, stroke / 2)
            c.paint(shape, color, (x - stroke, y - stroke, x + (ADVANCE[ch] + 0.2) * height,
                                   y + height + stroke), alpha)
        x += ADVANCE[ch] * height + stroke * 1.2
    return x


# --- The six pictures ---------------------------------------------------------------

WIDE, TALL = 438, 155
BANNER_W, BANNER_H = 495, 60


def page_picture(icon, current, lines):
    c = Canvas(WIDE, TALL, GREY)
    card(c, 6, 4, WIDE - 6, TALL - 12)
    icon(c)
    text_lines(c, 180, 40, lines)
    steps(c, 196, 392, 112, current)
    return c


def confirm():
    return page_picture(lambda c: cube(c, 96, 70, 88), 0, [150, 190, 170, 120])


def directory():
    return page_picture(lambda c: folder(c, 96, 72, 96), 1, [120, 200, 160])


def progress(share, current_lines):
    return page_picture(lambda c: progress_ring(c, 96, 70, 44, share), 2, current_lines)


def smoothstep(t):
    t = max(0.0, min(1.0, t))
    return t * t * (3 - 2 * t)


def banner(light):
    """The header: blue to teal, fading into the wizard's grey at the right,
    so that it also sits well in a wizard wider than the picture."""
    c = Canvas(BANNER_W, BANNER_H, GREY)
    start, end = (DEEP, TEAL) if not light else (BLUE, (96, 190, 186))
    fade_from = 0.6

    def color(x, y):
        t = x / BANNER_W
        band = mix(mix(start, BLUE, min(1, t * 2.2)), end, max(0, t - 0.3) / (fade_from - 0.3)
                   if t < fade_from else 1.0)
        return mix(band, GREY, smoothstep((t - fade_from) / (1 - fade_from)))
    c.fill(color)
    for cx, cy, r, a in ((250, -30, 80, 0.07), (300, 62, 34, 0.06)):
        c.paint(circle(cx, cy, r), WHITE, (cx - r, cy - r, cx + r, cy + r), a)
    cube(c, 34, 30, 36)
    x = word(c, "DEMO", 64, 20, 20, 3.2, WHITE)
    c.paint(capsule(x + 6, 22, x + 6, 38, 0.8), WHITE, (x, 18, x + 12, 42), 0.5)
    # Three dots: the steps of the wizard, quietly.
    for i in range(3):
        cx = x + 22 + i * 12
        c.paint(circle(cx, 30, 3), WHITE, (cx - 5, 25, cx + 5, 35), 0.9 - 0.25 * i)
    return c


PICTURES = [
    ("confirm.bmp", confirm),
    ("directory.bmp", directory),
    ("progress-low.bmp", lambda: progress(0.3, [140, 180])),
    ("progress-high.bmp", lambda: progress(0.78, [140, 180, 150])),
    ("header.bmp", lambda: banner(False)),
    ("spare.bmp", lambda: banner(True)),
]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_pictures.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, draw in PICTURES:
        data = draw().bmp()
        tmp = os.path.join(out, name + ".tmp")
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, os.path.join(out, name))
    print("pictures: %s" % out)


if __name__ == "__main__":
    main()
