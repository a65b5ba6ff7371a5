#!/usr/bin/env python3
"""Draw Quellfix's program icon and write res/Quellfix.ico.

The icon is a rounded blue square with a white arrow pointing down into a
white tray: "fetch the updates".  It is drawn from geometry, so running this
script again gives the same file byte for byte.

The .ico holds six BMP images, in this order:
    48x48, 32x32, 16x16 with 256 colours (palette + AND mask for transparency)
    48x48, 32x32, 16x16 with 32-bit BGRA (alpha channel + AND mask)

Usage: python3 res/make_icon.py [OUTPUT]   (default: Quellfix.ico next to
this script)
"""

import math
import os
import struct
import sys

SIZES = (48, 32, 16)

# All geometry lives on a 16x16 grid.  One grid step is 1, 2 or 3 pixels at
# 16, 32 or 48 pixels, so straight edges fall exactly on pixel boundaries at
# every size and stay sharp; only the curves and the arrow head's slopes are
# smoothed.
GRID = 16.0
TILE = (1.0, 1.0, 15.0, 15.0)         # rounded square: left, top, right, bottom
TILE_RADIUS = 3.0
SHAFT = (7.0, 3.0, 9.0, 7.0)          # arrow shaft
HEAD_BASE_Y, HEAD_TIP_Y = 7.0, 11.0   # arrow head: base line and tip
HEAD_LEFT, HEAD_RIGHT = 4.0, 12.0
TRAY = ((3.0, 9.0, 4.0, 13.0),        # left post
        (12.0, 9.0, 13.0, 13.0),      # right post
        (3.0, 12.0, 13.0, 13.0))      # floor

TOP_BLUE = (0x4A, 0x9B, 0xEE)
BOTTOM_BLUE = (0x17, 0x5C, 0xC4)
EDGE_BLUE = (0x0D, 0x3B, 0x86)        # one-pixel rim so the tile reads on white
WHITE = (0xFF, 0xFF, 0xFF)


def supersampling(size):
    """Samples per pixel along each axis; small images get more."""
    return {48: 8, 32: 10, 16: 16}[size]


def rounded_box_distance(x, y, box, radius):
    """Signed distance from (x, y) to a rounded rectangle; negative inside."""
    left, top, right, bottom = box
    cx, cy = (left + right) / 2.0, (top + bottom) / 2.0
    qx = abs(x - cx) - ((right - left) / 2.0 - radius)
    qy = abs(y - cy) - ((bottom - top) / 2.0 - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def in_box(x, y, box):
    left, top, right, bottom = box
    return left <= x < right and top <= y < bottom


def in_glyph(x, y):
    """The white arrow and tray, in grid units."""
    if in_box(x, y, SHAFT):
        return True
    if HEAD_BASE_Y <= y < HEAD_TIP_Y:
        centre = (HEAD_LEFT + HEAD_RIGHT) / 2.0
        half = (HEAD_RIGHT - HEAD_LEFT) / 2.0
        reach = half * (HEAD_TIP_Y - y) / (HEAD_TIP_Y - HEAD_BASE_Y)
        if abs(x - centre) <= reach:
            return True
    return any(in_box(x, y, part) for part in TRAY)


def tile_colour(y):
    """The tile's top-to-bottom gradient at grid height y."""
    t = (y - TILE[1]) / (TILE[3] - TILE[1])
    t = min(max(t, 0.0), 1.0)
    return tuple(a + (b - a) * t for a, b in zip(TOP_BLUE, BOTTOM_BLUE))


def render(size):
    """Draw the icon at size x size.  Returns rows (top first) of
    (r, g, b, a) tuples with 8-bit straight (not premultiplied) alpha."""
    n = supersampling(size)
    unit = GRID / size                # grid units per pixel
    rim = 1.0 * unit                  # rim width: one pixel at every size
    step = unit / n
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc_r = acc_g = acc_b = acc_a = 0.0
            for sy in range(n):
                y = (py + (sy + 0.5) / n) * unit
                shade = tile_colour(y)
                for sx in range(n):
                    x = px * unit + (sx + 0.5) * step
                    d = rounded_box_distance(x, y, TILE, TILE_RADIUS)
                    if d >= 0.0:
                        continue
                    if d > -rim:
                        colour = EDGE_BLUE
                    elif in_glyph(x, y):
                        colour = WHITE
                    else:
                        colour = shade
                    acc_r += colour[0]
                    acc_g += colour[1]
                    acc_b += colour[2]
                    acc_a += 1.0
            if acc_a == 0.0:
                row.append((0, 0, 0, 0))
                continue
            alpha = int(round(255.0 * acc_a / (n * n)))
            row.append((int(round(acc_r / acc_a)), int(round(acc_g / acc_a)),
                        int(round(acc_b / acc_a)), alpha))
        rows.append(row)
    return rows


# -- 256-colour images -------------------------------------------------------

OPAQUE_FROM = 128   # alpha at which a pixel counts as opaque without alpha


def median_cut(colours, limit):
    """Reduce {rgb: count} to at most `limit` colours, deterministically."""
    boxes = [sorted(colours.items())]
    while len(boxes) < limit:
        best = None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[0][k] for c in box) - min(c[0][k] for c in box)
                     for k in range(3)]
            weight = sum(count for _, count in box)
            score = (max(spans) * weight, -i)
            if best is None or score > best[0]:
                best = (score, i, spans.index(max(spans)))
        if best is None or best[0][0] == 0:
            break
        _, i, channel = best
        box = sorted(boxes[i], key=lambda c: (c[0][channel], c[0]))
        total = sum(count for _, count in box)
        running, cut = 0, 1
        for j, (_, count) in enumerate(box[:-1]):
            running += count
            cut = j + 1
            if running * 2 >= total:
                break
        boxes[i:i + 1] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        weight = sum(count for _, count in box)
        palette.append(tuple(
            int(round(sum(rgb[k] * count for rgb, count in box) / weight))
            for k in range(3)))
    return palette


def palettize(rows):
    """Give each opaque pixel a palette index.  Entry 0 is black and is what
    transparent pixels hold, so the AND mask leaves the screen untouched
    there.  Returns (palette of 256 rgb, index rows, mask rows)."""
    colours = {}
    for row in rows:
        for r, g, b, a in row:
            if a >= OPAQUE_FROM:
                colours[(r, g, b)] = colours.get((r, g, b), 0) + 1
    chosen = median_cut(colours, 255)
    palette = [(0, 0, 0)] + chosen
    palette += [(0, 0, 0)] * (256 - len(palette))
    nearest = {}
    for rgb in colours:
        nearest[rgb] = 1 + min(
            range(len(chosen)),
            key=lambda i: (sum((rgb[k] - chosen[i][k]) ** 2 for k in range(3)),
                           i))
    indices, mask = [], []
    for row in rows:
        indices.append([nearest[(r, g, b)] if a >= OPAQUE_FROM else 0
                        for r, g, b, a in row])
        mask.append([a < OPAQUE_FROM for _, _, _, a in row])
    return palette, indices, mask


# -- writing the .ico ----------------------------------------------------------

def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def mask_bits(mask_rows):
    """The 1-bit AND mask, bottom row first, rows padded to 32 bits."""
    out = b""
    for row in reversed(mask_rows):
        bits = bytearray((len(row) + 7) // 8)
        for x, transparent in enumerate(row):
            if transparent:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += pad4(bytes(bits))
    return out


def dib(size, bit_count, palette, pixels, mask_rows):
    image = pixels + mask_bits(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bit_count, 0,
                         len(image), 0, 0, 0, 0)
    return header + palette + image


def dib_256(rows):
    size = len(rows)
    palette, indices, mask = palettize(rows)
    palette_bytes = b"".join(struct.pack("<BBBB", b, g, r, 0)
                             for r, g, b in palette)
    pixels = b"".join(pad4(bytes(row)) for row in reversed(indices))
    return dib(size, 8, palette_bytes, pixels, mask)


def dib_argb(rows):
    size = len(rows)
    pixels = b"".join(struct.pack("<BBBB", b, g, r, a)
                      for row in reversed(rows) for r, g, b, a in row)
    mask = [[a < OPAQUE_FROM for _, _, _, a in row] for row in rows]
    return dib(size, 32, b"", pixels, mask)


def build_ico():
    drawn = {size: render(size) for size in SIZES}
    images = [(size, 8, dib_256(drawn[size])) for size in SIZES]
    images += [(size, 32, dib_argb(drawn[size])) for size in SIZES]

    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bit_count, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1,
                           bit_count, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return out


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    target = argv[1] if len(argv) > 1 else os.path.join(here, "Quellfix.ico")
    data = build_ico()
    tmp = target + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, target)
    print("wrote %s (%d bytes)" % (target, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
