#!/usr/bin/python3
"""Renders the KORVELA ERP product icon into resources/icons/icon-N.png.

    /usr/bin/python3 tools/render-icons.py        (or: tools/render-icons.sh)

This script is the source of truth for the icon: resources/icons/korvela.svg
draws the same design for people who want to look at it in an editor, but the
committed PNG files come from here. It uses the standard library only, and the
same sources always give byte-identical files (no clock, no randomness, no
dictionary-order dependence; zlib is the one outside input).

The design: a deep teal rounded tile with a bold white geometric "K". Every
size is drawn on its own grid: the tile's edges and the K's horizontal and
vertical edges are placed on whole pixels, so the 16 px image stays sharp,
and only the diagonals and the corners are anti-aliased. Coverage is exact
along x and sampled on SUBROWS lines per pixel along y.

The build embeds the files in the setup executable as they are, so each must
be N x N, RGBA (colour type 6), 8 bits per channel, not interlaced, and small:
the six together are budgeted at well under 8 KiB. They come out at about
3.5 KiB with zlib at level 9 and a per-row filter choice, so no outside
optimiser (zopflipng, optipng) is run: the bytes then depend on nothing that
happens to be installed. After writing, each file is read back and checked.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128)
SUBROWS = 16

# Coverage is rounded to this many steps before it becomes alpha or a blend
# factor: the eye cannot tell 32 steps from 256 on an edge, and the repeated
# values compress much better.
LEVELS = 32

TILE = (0x0E, 0x5E, 0x78)  # deep teal
MARK = (0xFF, 0xFF, 0xFF)

# Whole-pixel geometry for each size, in pixels from the top-left corner:
#   margin  empty border around the tile
#   radius  corner radius of the tile
#   top, bottom       the K's cap line and base line
#   left, stem        left edge and width of the K's upright
#   right             where the arm and the leg end on the right
#   arm               horizontal width of the arm where it meets the cap line
#   leg               horizontal width of the leg where it meets the base line
#   join    how far down the upright the arm's centre line meets it (0..1)
#   branch  how far along the arm, from the top, the leg leaves it (0..1)
# The small sizes are tuned by eye; from 48 px up the numbers follow the
# 128 px proportions.
GRID = {
    16: dict(margin=1, radius=3.0, top=3, bottom=13, left=4, stem=2, right=12,
             arm=2.6, leg=2.8, join=0.7, branch=0.5),
    24: dict(margin=1, radius=4.5, top=5, bottom=19, left=6, stem=3, right=18,
             arm=3.8, leg=4.2, join=0.64, branch=0.45),
    32: dict(margin=2, radius=6.0, top=8, bottom=24, left=8, stem=4, right=23,
             arm=5.2, leg=5.6, join=0.62, branch=0.45),
}


def grid_for(size):
    if size in GRID:
        return GRID[size]
    s = size / 128.0
    return dict(
        margin=round(8 * s), radius=24 * s,
        top=round(32 * s), bottom=round(96 * s),
        left=round(35 * s), stem=round(16 * s), right=round(94 * s),
        arm=22 * s, leg=24 * s, join=0.62, branch=0.45,
    )


# --- shapes ----------------------------------------------------------------
# A convex region is a list of half-planes (a, b, c) meaning a*x + b*y <= c.
# Its intersection with one horizontal line is a single interval, which is
# what the coverage loop needs.

def half_plane_through(p, q):
    """The side of the line p -> q that lies on the right when walking from p
    to q on screen (y grows downwards)."""
    (px, py), (qx, qy) = p, q
    a, b = -(qy - py), (qx - px)
    n = math.hypot(a, b)
    a, b = a / n, b / n
    return (a, b, a * px + b * py)


def band(p, q, width):
    """Points within width/2 of the infinite line through p and q."""
    (px, py), (qx, qy) = p, q
    dx, dy = qx - px, qy - py
    n = math.hypot(dx, dy)
    a, b = -dy / n, dx / n
    c = a * px + b * py
    return [(a, b, c + width / 2), (-a, -b, -c + width / 2)]


def span(region, y):
    lo, hi = -math.inf, math.inf
    for a, b, c in region:
        r = c - b * y
        if abs(a) < 1e-12:
            if r < 0:
                return None
        elif a > 0:
            hi = min(hi, r / a)
        else:
            lo = max(lo, r / a)
    return (lo, hi) if lo < hi else None


def rounded_span(x0, y0, x1, y1, r, y):
    if y < y0 or y > y1:
        return None
    if y < y0 + r:
        d = y0 + r - y
    elif y > y1 - r:
        d = y - (y1 - r)
    else:
        return (x0, x1)
    inset = r - math.sqrt(max(0.0, r * r - d * d))
    return (x0 + inset, x1 - inset)


def k_regions(g):
    top, bottom = g["top"], g["bottom"]
    left, right = g["left"], g["right"]
    stem_right = left + g["stem"]
    # The arm runs from the top-right corner down to the upright, meeting it
    # a little below the middle so the leg can branch off the arm itself.
    arm_top = (right - g["arm"] / 2, top)
    join = (stem_right, top + (bottom - top) * g["join"])
    arm_dx, arm_dy = join[0] - arm_top[0], join[1] - arm_top[1]
    # Perpendicular thickness that gives the wanted width on the cap line.
    arm_w = g["arm"] * abs(arm_dy) / math.hypot(arm_dx, arm_dy)
    arm = band(arm_top, join, arm_w) + [
        (0, -1, -top),   # y >= top
        (0, 1, bottom),  # y <= bottom
        (-1, 0, -left),  # x >= left
        (1, 0, right),   # x <= right
    ]
    # The leg starts on the arm's centre line and is cut along that line, so
    # that its end hides inside the arm.
    t = g["branch"]
    leg_from = (arm_top[0] + arm_dx * t, arm_top[1] + arm_dy * t)
    leg_to = (right - g["leg"] / 2, bottom)
    leg_dx, leg_dy = leg_to[0] - leg_from[0], leg_to[1] - leg_from[1]
    leg_w = g["leg"] * abs(leg_dy) / math.hypot(leg_dx, leg_dy)
    below_arm = half_plane_through(arm_top, join)
    leg = band(leg_from, leg_to, leg_w) + [
        (0, 1, bottom),  # y <= bottom
        (1, 0, right),   # x <= right
        below_arm,
    ]
    stem = [(-1, 0, -left), (1, 0, stem_right), (0, -1, -top), (0, 1, bottom)]
    return [stem, arm, leg]


# --- rasteriser --------------------------------------------------------------

def add_span(row, lo, hi, weight, size):
    lo = max(lo, 0.0)
    hi = min(hi, float(size))
    if lo >= hi:
        return
    i0, i1 = int(lo), min(int(math.ceil(hi)), size)
    for i in range(i0, i1):
        cover = min(hi, i + 1) - max(lo, i)
        if cover > 0:
            row[i] += cover * weight


def union(spans):
    spans = sorted(s for s in spans if s is not None)
    out = []
    for lo, hi in spans:
        if out and lo <= out[-1][1]:
            out[-1] = (out[-1][0], max(out[-1][1], hi))
        else:
            out.append((lo, hi))
    return out


def quantise(v):
    return round(min(max(v, 0.0), 1.0) * LEVELS) / LEVELS


def render(size):
    g = grid_for(size)
    m = g["margin"]
    regions = k_regions(g)
    weight = 1.0 / SUBROWS
    rows = []
    for py in range(size):
        tile = [0.0] * size
        mark = [0.0] * size
        for k in range(SUBROWS):
            y = py + (k + 0.5) / SUBROWS
            s = rounded_span(m, m, size - m, size - m, g["radius"], y)
            if s:
                add_span(tile, s[0], s[1], weight, size)
            for lo, hi in union(span(r, y) for r in regions):
                add_span(mark, lo, hi, weight, size)
        out = bytearray()
        for x in range(size):
            a = quantise(tile[x])
            if a == 0:
                out += b"\0\0\0\0"
                continue
            # The K lies inside the tile, so its share of the covered area
            # is its coverage over the tile's.
            f = quantise(min(mark[x] / tile[x], 1.0)) if tile[x] else 0.0
            out += bytes(round(TILE[i] + (MARK[i] - TILE[i]) * f) for i in range(3))
            out.append(round(a * 255))
        rows.append(bytes(out))
    return rows


# --- PNG ---------------------------------------------------------------------

def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(kind, row, prev, bpp=4):
    out = bytearray(len(row))
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if kind == 0:
            p = 0
        elif kind == 1:
            p = a
        elif kind == 2:
            p = b
        elif kind == 3:
            p = (a + b) >> 1
        else:
            p = paeth(a, b, c)
        out[i] = (x - p) & 0xFF
    return bytes([kind]) + bytes(out)


def candidates(rows):
    """Filtered image data under a few row-filter choices."""
    width = len(rows[0])
    zero = bytes(width)
    per_row = []
    prev = zero
    for row in rows:
        per_row.append([filter_row(k, row, prev) for k in range(5)])
        prev = row
    for k in range(5):
        yield b"".join(f[k] for f in per_row)

    def cost(f):  # the usual heuristic: smallest sum of signed residuals
        return sum(v if v < 128 else 256 - v for v in f[1:])
    yield b"".join(min(f, key=cost) for f in per_row)
    # Greedy: each row takes the filter that makes the stream so far the
    # smallest once compressed.
    chosen = b""
    for f in per_row:
        chosen = min((chosen + g for g in f), key=lambda d: len(deflate(d)))
    yield chosen


def deflate(data):
    best = None
    for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
        c = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
        z = c.compress(data) + c.flush()
        if best is None or len(z) < len(best):
            best = z
    return best


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body
            + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def encode(size, rows):
    idat = min((deflate(d) for d in candidates(rows)), key=len)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def check(path, size):
    """Fails unless the file is what the setup executable expects to embed."""
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    kinds, idat, pos = [], b"", 8
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        problems.append("no PNG signature")
        pos = len(data)
    while pos + 12 <= len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if crc != zlib.crc32(kind + body) & 0xFFFFFFFF:
            problems.append("bad CRC in %r" % kind)
        kinds.append(kind)
        if kind == b"IHDR":
            ihdr = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if pos != len(data) or [k for k in kinds if k != b"IDAT"] != [b"IHDR", b"IEND"] \
            or kinds[0] != b"IHDR" or kinds[-1] != b"IEND":
        problems.append("chunks are %s, not IHDR, IDAT, IEND only"
                        % b" ".join(kinds).decode("latin-1"))
    elif len(ihdr) != 13:
        problems.append("IHDR of %d bytes" % len(ihdr))
    else:
        w, h, depth, colour, comp, filt, interlace = struct.unpack(">IIBBBBB", ihdr)
        if (w, h) != (size, size):
            problems.append("is %dx%d, not %dx%d" % (w, h, size, size))
        if depth != 8:
            problems.append("bit depth %d, not 8" % depth)
        if colour != 6:
            problems.append("colour type %d, not 6 (RGBA)" % colour)
        if interlace != 0:
            problems.append("interlaced")
        if comp != 0 or filt != 0:
            problems.append("unknown compression or filter method")
        try:
            raw = zlib.decompress(idat)
        except zlib.error as e:
            raw = b""
            problems.append("image data does not inflate: %s" % e)
        if len(raw) != size * (1 + 4 * size):
            problems.append("image data of %d bytes" % len(raw))
        elif any(raw[y * (1 + 4 * size)] > 4 for y in range(size)):
            problems.append("unknown row filter")
    if problems:
        sys.exit("%s: %s" % (path, "; ".join(problems)))


# --- SVG ---------------------------------------------------------------------

def polygon(region, extent):
    """Corners of a convex region, clipped to a square around the icon."""
    pts = [(-extent, -extent), (2 * extent, -extent),
           (2 * extent, 2 * extent), (-extent, 2 * extent)]
    for a, b, c in region:
        out = []
        for i, p in enumerate(pts):
            q = pts[(i + 1) % len(pts)]
            dp, dq = a * p[0] + b * p[1] - c, a * q[0] + b * q[1] - c
            if dp <= 0:
                out.append(p)
            if (dp < 0 < dq) or (dq < 0 < dp):
                t = dp / (dp - dq)
                out.append((p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t))
        pts = out
    # Two half-planes through the same corner leave it twice.
    return [p for i, p in enumerate(pts)
            if math.dist(p, pts[i - 1]) > 1e-9]


def svg(size=128):
    """The same design as a vector drawing, from the 128 px grid."""
    g = grid_for(size)
    m = g["margin"]

    def num(v):
        return ("%.2f" % v).rstrip("0").rstrip(".")

    def colour(c):
        return "#%02x%02x%02x" % c
    paths = []
    for region in k_regions(g):
        pts = polygon(region, size)
        paths.append("M" + " L".join("%s %s" % (num(x), num(y)) for x, y in pts) + " Z")
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<!-- KORVELA ERP icon. Written by tools/render-icons.py, which also\n'
        '     renders the PNG files: change the design there, not here. -->\n'
        '<svg xmlns="http://www.w3.org/2000/svg" width="{s}" height="{s}" '
        'viewBox="0 0 {s} {s}">\n'
        '  <rect x="{m}" y="{m}" width="{w}" height="{w}" rx="{r}" fill="{tile}"/>\n'
        '  <path fill="{mark}" d="{d}"/>\n'
        '</svg>\n'
    ).format(s=size, m=m, w=size - 2 * m, r=num(g["radius"]), tile=colour(TILE),
             mark=colour(MARK), d=" ".join(paths))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = os.path.join(root, "resources", "icons")
    os.makedirs(out_dir, exist_ok=True)
    total = 0
    for size in SIZES:
        path = os.path.join(out_dir, "icon-%d.png" % size)
        data = encode(size, render(size))
        with open(path, "wb") as f:
            f.write(data)
        check(path, size)
        total += len(data)
        print("%-28s %6d bytes" % (os.path.relpath(path, root), len(data)))
    print("%-28s %6d bytes" % ("total", total))
    path = os.path.join(out_dir, "korvela.svg")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(svg())
    print(os.path.relpath(path, root))


if __name__ == "__main__":
    main()
