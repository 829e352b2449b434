#!/usr/bin/python3
"""Draws the five stage backgrounds, their light sequences and the style pictures.

    tools/stages/make_stages.py [--scale 2] [OUT [STYLE ...]]     (default OUT: data/styles)

Writes OUT/<folder>/stage.png (815 x 400), OUT/<folder>/shadows.png (where shadows may fall),
OUT/<folder>/lights/*.png and OUT/<folder>/picture.png
(120 x 59) for every style of stagedefs.py. --scale 2 draws the same pictures again at twice the
width and height as NAME@2x.png beside NAME.png: the vector drawing and the light and mask
functions are evaluated on the finer grid, so pixel (x, y) of NAME.png covers pixels
(2x..2x+1, 2y..2y+1) of NAME@2x.png. Deterministic: fixed seeds, no time stamps. Needs Debian's
python3-cairo and python3-numpy (and pngquant for --scale 2); takes about half a minute.
"""
import argparse
import math
import os
import subprocess
import sys

import cairo
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import riser  # noqa: E402
import stagedefs as sd  # noqa: E402

W, H = sd.STAGE_W, sd.STAGE_H
SCALE = 1  # image pixels per stage pixel (1 or 2), set by main()
# The 2x light images are four times the pixels of soft gradients: palette-compressed like the
# band's images to keep the data small.
PNGQUANT = ["pngquant", "256", "--speed", "1", "--strip", "--force"]


def suffix():
    return "@2x" if SCALE == 2 else ""


def grid(w, h):
    """Pixel-centre coordinates (ys, xs) of an image w x h stage pixels at SCALE, in stage
    pixels: at scale 1 the centres i + 0.5, at scale 2 the centres of the half pixels."""
    ys, xs = np.mgrid[0:h * SCALE, 0:w * SCALE].astype(np.float64) + 0.5
    if SCALE != 1:
        ys /= SCALE
        xs /= SCALE
    return ys, xs


def rgb(c, a=None):
    r, g, b = (v / 255.0 for v in c)
    return (r, g, b) if a is None else (r, g, b, a)


def lin(ctx, x0, y0, x1, y1, stops):
    g = cairo.LinearGradient(x0, y0, x1, y1)
    for off, c in stops:
        g.add_color_stop_rgba(off, *rgb(c[:3], c[3] if len(c) > 3 else 1.0))
    return g


def rad(cx, cy, r, stops):
    g = cairo.RadialGradient(cx, cy, 0, cx, cy, r)
    for off, c in stops:
        g.add_color_stop_rgba(off, *rgb(c[:3], c[3] if len(c) > 3 else 1.0))
    return g


def rect(ctx, x, y, w, h, src):
    ctx.rectangle(x, y, w, h)
    if isinstance(src, tuple):
        ctx.set_source_rgba(*rgb(src[:3], src[3] if len(src) > 3 else 1.0))
    else:
        ctx.set_source(src)
    ctx.fill()


def glow(ctx, cx, cy, r, c, a=0.8):
    ctx.set_source(rad(cx, cy, r, [(0, c + (a,)), (0.35, c + (a * 0.35,)), (1, c + (0,))]))
    ctx.arc(cx, cy, r, 0, 2 * math.pi)
    ctx.fill()


# ---------------------------------------------------------------- shared stage pieces

def floor_planks(ctx, wall_y, base, seam, plank=34, shine=None, rng=None):
    """Planks running into the stage: in this projection depth lines are vertical."""
    rect(ctx, 0, wall_y, W, H - wall_y, lin(ctx, 0, wall_y, 0, H, [(0, base[0]), (1, base[1])]))
    if rng is not None:
        for x in range(0, W, plank):
            tone = rng.uniform(-0.05, 0.05)
            ctx.set_source_rgba(1 if tone > 0 else 0, 1 if tone > 0 else 0, 1 if tone > 0 else 0,
                                abs(tone))
            ctx.rectangle(x, wall_y, plank, H - wall_y)
            ctx.fill()
    ctx.set_line_width(1)
    ctx.set_source_rgba(*rgb(seam[:3], seam[3]))
    for x in range(0, W + 1, plank):
        ctx.move_to(x + 0.5, wall_y)
        ctx.line_to(x + 0.5, H)
    ctx.stroke()
    # Butt joints: short horizontal seams at staggered depths.
    if rng is not None:
        for i, x in enumerate(range(0, W, plank)):
            z = rng.uniform(40, 480)
            y = sd.floor_y(z)
            if y > wall_y + 3:
                ctx.move_to(x, y + 0.5)
                ctx.line_to(x + plank, y + 0.5)
        ctx.stroke()
    if shine:
        ctx.save()
        ctx.rectangle(0, wall_y, W, H - wall_y)
        ctx.clip()
        ctx.set_source(rad(W / 2, sd.floor_y(300), 420, [(0, shine + (0.16,)), (1, shine + (0,))]))
        ctx.save()
        ctx.scale(1, 0.28)
        ctx.arc(W / 2, sd.floor_y(300) / 0.28, 420, 0, 2 * math.pi)
        ctx.restore()
        ctx.fill()
        ctx.restore()


def wall_floor_line(ctx, wall_y, c=(0, 0, 0), a=0.55, h=10):
    """Contact shadow where the floor meets the back wall."""
    rect(ctx, 0, wall_y, W, h, lin(ctx, 0, wall_y, 0, wall_y + h, [(0, c + (a,)), (1, c + (0,))]))


def stage_lip(ctx, c0, c1, h=7):
    rect(ctx, 0, H - h, W, h, lin(ctx, 0, H - h, 0, H, [(0, c0), (1, c1)]))


def truss(ctx, y0, y1, c=(170, 174, 182)):
    """A box truss across the top: two chords and zig-zag braces."""
    ctx.set_line_width(2.2)
    ctx.set_source_rgb(*rgb(c))
    for y in (y0, y1):
        ctx.move_to(0, y)
        ctx.line_to(W, y)
    ctx.stroke()
    ctx.set_line_width(1.2)
    step = y1 - y0
    x = 0
    up = True
    ctx.move_to(0, y1)
    while x < W:
        x += step
        ctx.line_to(x, y0 if up else y1)
        up = not up
    ctx.stroke()
    ctx.set_source_rgba(0, 0, 0, 0.35)
    ctx.rectangle(0, y1 + 1.5, W, 2)
    ctx.fill()


def par_can(ctx, x, y, c, r=9, lit=False, body=(30, 30, 34)):
    """A round stage lamp hanging under a truss at (x, y): clamp, yoke, can, lens."""
    ctx.set_source_rgb(*rgb((90, 90, 96)))
    ctx.rectangle(x - 2, y - r - 8, 4, 8)
    ctx.fill()
    ctx.set_line_width(2)
    ctx.arc(x, y - 2, r + 3, math.pi * 0.05, math.pi * 0.95)
    ctx.stroke()
    ctx.set_source_rgb(*rgb(body))
    ctx.arc(x, y, r, 0, 2 * math.pi)
    ctx.fill()
    ctx.set_source_rgb(*rgb(tuple(min(255, v // 2 + 40) for v in c)))
    ctx.arc(x, y + 1.5, r * 0.72, 0, 2 * math.pi)
    ctx.fill()
    if lit:
        glow(ctx, x, y + 2, r * 3.2, c, 0.9)
        ctx.set_source_rgb(1, 1, 0.95)
        ctx.arc(x, y + 1.5, r * 0.38, 0, 2 * math.pi)
        ctx.fill()


def side_curtain(ctx, x0, x1, top, bottom, c_dark, c_light, folds=6):
    w = x1 - x0
    g = cairo.LinearGradient(x0, 0, x1, 0)
    for i in range(folds * 2 + 1):
        g.add_color_stop_rgb(i / (folds * 2), *rgb(c_light if i % 2 else c_dark))
    ctx.rectangle(x0, top, w, bottom - top)
    ctx.set_source(g)
    ctx.fill()


def lamp_screen(style):
    return [sd.screen(*l) for l in style["lamps"]]


# ---------------------------------------------------------------- the five stages

def draw_rock(ctx, st, rng):
    wall_y = sd.floor_y(st["depth"])
    # Black backdrop with a faint red haze.
    rect(ctx, 0, 0, W, wall_y, lin(ctx, 0, 0, 0, wall_y, [(0, (8, 8, 10)), (1, (26, 18, 20))]))
    glow(ctx, W / 2, wall_y - 90, 330, (150, 20, 10), 0.35)
    # LED wall: a grid of dim tiles with a red flame pattern.
    lx0, lx1, ly0, ly1 = 222, 593, 78, wall_y - 62
    rect(ctx, lx0 - 4, ly0 - 4, lx1 - lx0 + 8, ly1 - ly0 + 8, (20, 20, 22))
    tile = 7
    for ty in range(int(ly0), int(ly1) - tile + 1, tile):
        for tx in range(lx0, lx1 - tile + 1, tile):
            u = (tx - lx0) / (lx1 - lx0)
            v = (ty - ly0) / (ly1 - ly0)
            flame = math.sin(u * 9.0 + math.sin(v * 5.0) * 1.4) * 0.5 + 0.5
            k = max(0.0, v - 0.25 + 0.35 * flame) ** 1.3
            c = (40 + 200 * k, 6 + 90 * k * k, 6 + 10 * k)
            rect(ctx, tx, ty, tile - 1, tile - 1, tuple(min(255, int(v_)) for v_ in c))
    # Speaker line arrays hanging left and right.
    for x in (118, 654):
        for i in range(7):
            y = 70 + i * 15
            ctx.set_source_rgb(*rgb((22, 22, 24)))
            ctx.rectangle(x, y, 44, 13)
            ctx.fill()
            ctx.set_source_rgb(*rgb((48, 48, 52)))
            ctx.rectangle(x + 3, y + 3, 38, 7)
            ctx.fill()
    # Floor: painted black boards.
    floor_planks(ctx, wall_y, ((28, 27, 30), (14, 14, 16)), (0, 0, 0, 0.7), plank=36, rng=rng)
    wall_floor_line(ctx, wall_y)
    # Amp stacks against the wall at both sides.
    for x0 in (8, 715):
        zf = st["depth"] - 40
        base = sd.floor_y(zf)
        for i in range(2):
            y = base - 52 * (i + 1)
            rect(ctx, x0, y, 92, 50, (18, 18, 20))
            rect(ctx, x0 + 5, y + 5, 82, 40, (38, 38, 42))
            for cx in (x0 + 26, x0 + 66):
                ctx.set_source_rgb(*rgb((12, 12, 14)))
                ctx.arc(cx, y + 25, 16, 0, 2 * math.pi)
                ctx.fill()
                ctx.set_source_rgb(*rgb((60, 60, 66)))
                ctx.arc(cx, y + 25, 5, 0, 2 * math.pi)
                ctx.fill()
        rect(ctx, x0, base - 128, 92, 22, (14, 14, 16))
        rect(ctx, x0 + 6, base - 122, 60, 4, (200, 160, 60))
    # Wedge monitors at the front edge, out of the players' way.
    for x in (28, 700):
        ctx.move_to(x, H - 6)
        ctx.line_to(x + 6, H - 30)
        ctx.line_to(x + 80, H - 24)
        ctx.line_to(x + 86, H - 6)
        ctx.close_path()
        ctx.set_source_rgb(*rgb((20, 20, 22)))
        ctx.fill()
    stage_lip(ctx, (40, 40, 44), (5, 5, 6))
    truss(ctx, 26, 40)
    for x in (60, 120, 290, 360, 455, 525, 695, 755):
        par_can(ctx, x, 52, (255, 90, 40))
    for (x, y) in lamp_screen(st):
        par_can(ctx, x, y, (255, 240, 210), r=11, lit=True)


def draw_jazz(ctx, st, rng):
    wall_y = sd.floor_y(st["depth"])
    # Brick wall.
    rect(ctx, 0, 0, W, wall_y, (92, 40, 30))
    bw, bh = 30, 11
    for row, y in enumerate(range(0, int(wall_y), bh)):
        off = (row % 2) * bw // 2
        for x in range(-bw, W + bw, bw):
            t = rng.uniform(-18, 18)
            c = (128 + t, 58 + t * 0.5, 42 + t * 0.4)
            rect(ctx, x + off + 1, y + 1, bw - 2, bh - 2, tuple(int(v) for v in c))
    # Dim the bricks towards the top and sides, warm pool in the middle.
    rect(ctx, 0, 0, W, wall_y, lin(ctx, 0, 0, 0, wall_y, [(0, (10, 4, 4, 0.82)),
                                                          (0.6, (10, 4, 4, 0.35)),
                                                          (1, (10, 4, 4, 0.55))]))
    glow(ctx, W / 2, wall_y - 70, 300, (255, 150, 70), 0.28)
    # Wainscot of dark wood along the floor line.
    rect(ctx, 0, wall_y - 44, W, 44, lin(ctx, 0, wall_y - 44, 0, wall_y,
                                         [(0, (70, 38, 20)), (1, (40, 20, 10))]))
    rect(ctx, 0, wall_y - 46, W, 3, (120, 70, 36))
    # A neon eighth note on the wall.
    ctx.set_line_width(4)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    for width, alpha in ((14, 0.12), (8, 0.25), (3.5, 1.0)):
        ctx.set_line_width(width)
        ctx.set_source_rgba(*rgb((110, 200, 255), alpha))
        ctx.save()
        ctx.translate(W / 2 - 6, 122)
        ctx.save()
        ctx.scale(1.0, 0.72)
        ctx.arc(0, 0, 11, 0, 2 * math.pi)
        ctx.restore()
        ctx.move_to(11, 0)
        ctx.line_to(11, -52)
        ctx.curve_to(20, -40, 34, -34, 28, -14)
        ctx.stroke()
        ctx.restore()
    # Red velvet curtains at the sides.
    side_curtain(ctx, 0, 64, 0, H, (70, 6, 14), (150, 20, 34), folds=3)
    side_curtain(ctx, W - 64, W, 0, H, (70, 6, 14), (150, 20, 34), folds=3)
    # Oak floor.
    floor_planks(ctx, wall_y, ((150, 92, 48), (96, 54, 26)), (50, 26, 10, 0.55), plank=30,
                 shine=(255, 190, 120), rng=rng)
    wall_floor_line(ctx, wall_y)
    # Curtains fall onto the floor.
    side_curtain(ctx, 0, 64, wall_y, H, (60, 4, 12), (130, 16, 30), folds=3)
    side_curtain(ctx, W - 64, W, wall_y, H, (60, 4, 12), (130, 16, 30), folds=3)
    stage_lip(ctx, (90, 50, 24), (30, 14, 6), h=8)
    # Pendant lamps: cord from the ceiling, conical shade, warm bulb.
    for (x, y) in lamp_screen(st):
        ctx.set_source_rgb(*rgb((20, 14, 10)))
        ctx.set_line_width(1.5)
        ctx.move_to(x, 0)
        ctx.line_to(x, y - 18)
        ctx.stroke()
        glow(ctx, x, y + 1, 70, (255, 180, 90), 0.45)
        ctx.move_to(x - 6, y - 18)
        ctx.line_to(x + 6, y - 18)
        ctx.line_to(x + 20, y - 2)
        ctx.line_to(x - 20, y - 2)
        ctx.close_path()
        ctx.set_source(lin(ctx, x - 20, 0, x + 20, 0, [(0, (30, 50, 36)), (0.5, (70, 110, 80)),
                                                     (1, (24, 40, 30))]))
        ctx.fill()
        # The bulb sits where the shadow light is.
        ctx.set_source_rgb(1, 0.93, 0.75)
        ctx.arc(x, y - 2, 5, 0, math.pi)
        ctx.fill()


def draw_classic(ctx, st, rng):
    wall_y = sd.floor_y(st["depth"])
    # Panelled wooden shell of a concert hall.
    rect(ctx, 0, 0, W, wall_y, lin(ctx, 0, 0, 0, wall_y, [(0, (92, 56, 32)), (1, (150, 98, 56))]))
    pw = 40
    for i, x in enumerate(range(0, W, pw)):
        t = rng.uniform(-10, 10)
        rect(ctx, x + 2, 40, pw - 4, wall_y - 44,
             lin(ctx, x, 0, x + pw, 0, [(0, (150 + t, 100 + t, 58 + t)),
                                        (0.5, (182 + t, 128 + t, 78 + t)),
                                        (1, (140 + t, 92 + t, 52 + t))]))
        rect(ctx, x, 40, 2, wall_y - 44, (70, 40, 22))
    # Organ pipes in the upper centre.
    n = 25
    cx = W / 2
    for i in range(n):
        k = abs(i - n // 2)
        h = 150 - k * 7 - (k % 2) * 6
        x = cx - n * 6 + i * 12
        y1 = 150
        rect(ctx, x, y1 - h, 10, h, lin(ctx, x, 0, x + 10, 0, [(0, (120, 120, 126)),
                                                               (0.4, (235, 235, 240)),
                                                               (1, (110, 110, 118))]))
        ctx.move_to(x, y1 - 16)
        ctx.line_to(x + 5, y1 - 24)
        ctx.line_to(x + 10, y1 - 16)
        ctx.set_source_rgba(0, 0, 0, 0.6)
        ctx.set_line_width(1.2)
        ctx.stroke()
    rect(ctx, cx - n * 6 - 10, 150, n * 12 + 20, 20, (110, 66, 34))
    rect(ctx, cx - n * 6 - 10, 150, n * 12 + 20, 3, (200, 160, 90))
    glow(ctx, W / 2, wall_y - 40, 360, (255, 230, 180), 0.22)
    # Choir risers along the wall.
    for i in range(3):
        zf = st["depth"] - 18 * i
        y = sd.floor_y(zf)
        rect(ctx, 90, y - 14 - 4 * (2 - i), W - 180, 14, (110, 70, 40))
    # Maple floor.
    floor_planks(ctx, wall_y, ((196, 150, 98), (140, 98, 58)), (90, 60, 30, 0.45), plank=24,
                 shine=(255, 240, 210), rng=rng)
    wall_floor_line(ctx, wall_y, a=0.45)
    stage_lip(ctx, (120, 80, 44), (50, 30, 14), h=8)
    # Proscenium: red drapes at the sides and a pelmet with a gold fringe across the top.
    side_curtain(ctx, 0, 44, 0, H, (96, 8, 18), (170, 30, 42), folds=2)
    side_curtain(ctx, W - 44, W, 0, H, (96, 8, 18), (170, 30, 42), folds=2)
    g = cairo.LinearGradient(0, 0, 0, 36)
    g.add_color_stop_rgb(0, *rgb((80, 6, 14)))
    g.add_color_stop_rgb(1, *rgb((160, 26, 40)))
    ctx.move_to(0, 0)
    ctx.line_to(W, 0)
    ctx.line_to(W, 30)
    for i in range(16, -1, -1):
        x = i * W / 16
        ctx.curve_to(x + W / 32, 40, x + W / 32, 40, x, 30)
    ctx.close_path()
    ctx.set_source(g)
    ctx.fill()
    rect(ctx, 0, 30, W, 3, (210, 170, 70))
    # Chandeliers.
    for (x, y) in lamp_screen(st):
        ctx.set_source_rgb(*rgb((180, 150, 70)))
        ctx.set_line_width(1.4)
        ctx.move_to(x, 33)
        ctx.line_to(x, y - 8)
        ctx.stroke()
        glow(ctx, x, y, 60, (255, 230, 170), 0.55)
        ctx.set_line_width(2)
        ctx.save()
        ctx.translate(x, y)
        ctx.scale(1, 0.35)
        ctx.arc(0, 0, 20, 0, 2 * math.pi)
        ctx.restore()
        ctx.stroke()
        for k in range(-2, 3):
            bx = x + k * 9
            ctx.set_source_rgb(1, 0.96, 0.82)
            ctx.arc(bx, y - 5 + abs(k), 2.6, 0, 2 * math.pi)
            ctx.fill()
        ctx.set_source_rgb(*rgb((200, 170, 90)))
        ctx.move_to(x - 8, y + 5)
        ctx.line_to(x, y + 14)
        ctx.line_to(x + 8, y + 5)
        ctx.fill()


def draw_electronic(ctx, st, rng):
    wall_y = sd.floor_y(st["depth"])
    rect(ctx, 0, 0, W, wall_y, lin(ctx, 0, 0, 0, wall_y, [(0, (4, 4, 16)), (1, (14, 8, 36))]))
    # LED screen: concentric hexagons around a vanishing point, cyan to magenta.
    cx, cy = W / 2, wall_y - 110
    sx0, sx1, sy0, sy1 = 150, 665, 62, wall_y - 30
    ctx.save()
    ctx.rectangle(sx0, sy0, sx1 - sx0, sy1 - sy0)
    ctx.clip()
    rect(ctx, sx0, sy0, sx1 - sx0, sy1 - sy0, (6, 6, 20))
    for i in range(14, 0, -1):
        r = i * 22
        t = i / 14
        c = (int(40 + 200 * t), int(220 - 170 * t), 255)
        ctx.set_line_width(2.5)
        ctx.set_source_rgba(*rgb(c, 0.25 + 0.5 * (1 - t)))
        for k in range(7):
            a = math.pi / 6 + k * math.pi / 3
            px, py = cx + r * math.cos(a), cy + r * 0.75 * math.sin(a)
            (ctx.move_to if k == 0 else ctx.line_to)(px, py)
        ctx.stroke()
    for k in range(24):
        a = k * math.pi / 12
        ctx.move_to(cx, cy)
        ctx.line_to(cx + 500 * math.cos(a), cy + 380 * math.sin(a))
    ctx.set_source_rgba(*rgb((120, 80, 255), 0.12))
    ctx.set_line_width(1)
    ctx.stroke()
    glow(ctx, cx, cy, 90, (220, 120, 255), 0.6)
    ctx.restore()
    # Pixel raster over the screen.
    ctx.set_source_rgba(0, 0, 0, 0.35)
    for y in range(sy0, int(sy1), 4):
        ctx.rectangle(sx0, y, sx1 - sx0, 1)
    ctx.fill()
    rect(ctx, sx0 - 3, sy0 - 3, sx1 - sx0 + 6, 3, (30, 30, 40))
    rect(ctx, sx0 - 3, sy1, sx1 - sx0 + 6, 3, (30, 30, 40))
    # LED bar towers at the sides.
    for x0 in (30, 84, W - 104, W - 50):
        for i in range(16):
            y = 60 + i * 11
            k = 1 - abs(i - 8) / 9
            c = (int(30 + 60 * k), int(120 + 120 * k), 255)
            rect(ctx, x0, y, 20, 8, c + (0.35 + 0.6 * k,))
    # Black glossy floor with a neon grid.
    rect(ctx, 0, wall_y, W, H - wall_y, lin(ctx, 0, wall_y, 0, H, [(0, (10, 8, 24)),
                                                                   (1, (2, 2, 8))]))
    glow(ctx, W / 2, wall_y + 20, 300, (200, 60, 255), 0.14)
    ctx.set_line_width(1)
    for z in range(0, int(st["depth"]), 60):
        y = sd.floor_y(z) + 0.5
        ctx.move_to(0, y)
        ctx.line_to(W, y)
    for x in range(4, W, 50):
        ctx.move_to(x + 0.5, wall_y)
        ctx.line_to(x + 0.5, H)
    ctx.set_source_rgba(*rgb((40, 200, 255), 0.28))
    ctx.stroke()
    wall_floor_line(ctx, wall_y, c=(0, 0, 0), a=0.6)
    rect(ctx, 0, wall_y - 1, W, 2, (200, 60, 255, 0.8))
    # Front edge light strip.
    rect(ctx, 0, H - 6, W, 6, (8, 8, 14))
    rect(ctx, 0, H - 4, W, 2, (60, 230, 255))
    glow(ctx, W / 2, H, 420, (60, 230, 255), 0.0)
    # Upper truss with moving heads.
    truss(ctx, 22, 34, c=(90, 94, 110))
    for x in (70, 140, 320, 495, 675, 745):
        par_can(ctx, x, 46, (140, 60, 255), r=7)
    for (x, y) in lamp_screen(st):
        # Moving head: yoke and a square head.
        ctx.set_source_rgb(*rgb((40, 40, 50)))
        ctx.rectangle(x - 14, y - 16, 28, 5)
        ctx.fill()
        ctx.rectangle(x - 14, y - 16, 4, 18)
        ctx.rectangle(x + 10, y - 16, 4, 18)
        ctx.fill()
        ctx.rectangle(x - 9, y - 8, 18, 16)
        ctx.set_source_rgb(*rgb((24, 24, 30)))
        ctx.fill()
        glow(ctx, x, y + 2, 34, (200, 240, 255), 0.95)
        ctx.set_source_rgb(0.92, 0.98, 1)
        ctx.arc(x, y + 2, 4.5, 0, 2 * math.pi)
        ctx.fill()


def draw_pop(ctx, st, rng):
    wall_y = sd.floor_y(st["depth"])
    rect(ctx, 0, 0, W, wall_y, lin(ctx, 0, 0, 0, wall_y, [(0, (60, 10, 80)), (0.55, (190, 40, 120)),
                                                          (1, (255, 140, 90))]))
    # Sun-ray backdrop.
    cx, cy = W / 2, wall_y - 70
    for k in range(18):
        a0 = k * math.pi / 9
        ctx.move_to(cx, cy)
        ctx.arc(cx, cy, 600, a0, a0 + math.pi / 18)
        ctx.close_path()
    ctx.set_source_rgba(1, 1, 1, 0.07)
    ctx.fill()
    # Marquee ring of bulbs.
    for r, n in ((118, 36), (96, 30)):
        for k in range(n):
            a = 2 * math.pi * k / n
            x, y = cx + r * math.cos(a), cy - 20 + r * 0.62 * math.sin(a)
            if y > wall_y - 6:
                continue
            glow(ctx, x, y, 7, (255, 230, 150), 0.7)
            ctx.set_source_rgb(1, 0.97, 0.85)
            ctx.arc(x, y, 2.4, 0, 2 * math.pi)
            ctx.fill()
    # Stars.
    for (x, y, r) in ((120, 110, 16), (200, 70, 9), (690, 104, 16), (612, 64, 10), (80, 200, 8),
                      (740, 190, 9)):
        ctx.save()
        ctx.translate(x, y)
        for k in range(10):
            rr = r if k % 2 == 0 else r * 0.45
            a = -math.pi / 2 + k * math.pi / 5
            (ctx.move_to if k == 0 else ctx.line_to)(rr * math.cos(a), rr * math.sin(a))
        ctx.close_path()
        ctx.restore()
    ctx.set_source_rgb(1, 0.88, 0.35)
    ctx.fill()
    # Two-step riser across the back.
    for i, h in enumerate((26, 13)):
        z = st["depth"] - 26 * i
        y = sd.floor_y(z)
        rect(ctx, 60, y - h, W - 120, h, (235, 225, 240))
        rect(ctx, 60, y - h, W - 120, 2, (255, 120, 200))
    # White glossy floor.
    rect(ctx, 0, wall_y, W, H - wall_y, lin(ctx, 0, wall_y, 0, H, [(0, (206, 196, 214)),
                                                                   (1, (150, 136, 162))]))
    ctx.set_line_width(1)
    ctx.set_source_rgba(0.4, 0.3, 0.5, 0.25)
    for x in range(0, W, 68):
        ctx.move_to(x + 0.5, wall_y)
        ctx.line_to(x + 0.5, H)
    ctx.stroke()
    # Reflection of the backdrop on the floor.
    rect(ctx, 0, wall_y, W, 60, lin(ctx, 0, wall_y, 0, wall_y + 60,
                                    [(0, (255, 140, 160, 0.45)), (1, (255, 140, 160, 0))]))
    wall_floor_line(ctx, wall_y, c=(60, 20, 60), a=0.35)
    stage_lip(ctx, (255, 120, 200), (120, 30, 90), h=6)
    truss(ctx, 16, 28, c=(220, 220, 230))
    for x in (200, 270, 340, 475, 545, 615):
        par_can(ctx, x, 40, (255, 120, 220), r=7, body=(230, 230, 236))
    for (x, y) in lamp_screen(st):
        # Large follow-spot can hung from the rig.
        ctx.set_source_rgb(*rgb((220, 220, 230)))
        ctx.rectangle(x - 2, 28, 4, y - 40)
        ctx.fill()
        ctx.save()
        ctx.translate(x, y)
        ctx.rotate(0.5 if x < W / 2 else -0.5)
        ctx.rectangle(-9, -24, 18, 26)
        ctx.set_source_rgb(*rgb((236, 236, 242)))
        ctx.fill()
        ctx.restore()
        glow(ctx, x, y + 2, 40, (255, 240, 250), 0.95)
        ctx.set_source_rgb(1, 1, 1)
        ctx.arc(x, y + 2, 7, 0, 2 * math.pi)
        ctx.fill()


DRAW = {"Rock": draw_rock, "Jazz": draw_jazz, "Classic": draw_classic,
        "Electronic": draw_electronic, "Pop": draw_pop}


# ---------------------------------------------------------------- shadow masks

# Where each stage's shadows may fall: its floor and back wall, but not the rig at the top,
# curtains, the stage's front edge or scenery that stands in front of the wall. Rectangles
# (x0, y0, x1, y1) cut out of the wall and floor, the height of the rig, the front edge's height.
MASK_CUTS = {
    "Rock": dict(rig=64, lip=7, cuts=((118, 66, 162, 176), (654, 66, 698, 176),
                                      (8, 144, 100, 273), (715, 144, 807, 273),
                                      (28, H - 30, 114, H), (700, H - 30, 786, H))),
    "Jazz": dict(rig=0, lip=8, cuts=((0, 0, 64, H), (W - 64, 0, W, H))),
    "Classic": dict(rig=42, lip=8, cuts=((0, 0, 44, H), (W - 44, 0, W, H))),
    "Electronic": dict(rig=56, lip=6, cuts=((30, 58, 50, 238), (84, 58, 104, 238),
                                            (W - 104, 58, W - 84, 238), (W - 50, 58, W - 30, 238))),
    "Pop": dict(rig=46, lip=6, cuts=()),
}
MASK_SOFT = 4  # pixels of blur on every edge of the mask
WALL_FADE = 40  # the wall's shadows fade in over this many pixels below the rig


def shadow_mask(st):
    """The mask as floats 0..1, H x W: 1 where shadows fall whole."""
    cut = MASK_CUTS[st["name"]]
    S = SCALE
    ys = grid(1, H)[0][:, :1]
    m = np.ones((H * S, W * S))
    # The wall fades in below the rig; nothing on the rig or the front edge.
    m *= smooth((ys - cut["rig"]) / WALL_FADE) * (ys > cut["rig"])
    m[(H - cut["lip"]) * S:, :] = 0
    for (x0, y0, x1, y1) in cut["cuts"]:
        m[max(0, int(y0)) * S:int(y1) * S, max(0, int(x0)) * S:int(x1) * S] = 0
    # Soft edges: a box blur along each axis (as many stage pixels wide at every scale).
    soft = MASK_SOFT * S
    k = np.ones(2 * soft + 1) / (2 * soft + 1)
    m = np.apply_along_axis(lambda r: np.convolve(np.pad(r, soft, mode="edge"), k, "valid"),
                            1, m)
    m = np.apply_along_axis(lambda c: np.convolve(np.pad(c, soft, mode="edge"), k, "valid"),
                            0, m)
    return np.clip(m, 0.0, 1.0)


def make_mask(st, folder):
    """Writes <folder>/shadows.png: grey, white where shadows fall whole, black where none."""
    v = np.round(shadow_mask(st) * 255.0).astype(np.uint8)
    h, w = v.shape
    buf = np.zeros((h, w, 4), np.uint8)
    buf[..., 0] = v
    buf[..., 1] = v
    buf[..., 2] = v
    buf[..., 3] = 255
    surf = cairo.ImageSurface.create_for_data(memoryview(buf), cairo.FORMAT_RGB24, w, h, w * 4)
    surf.write_to_png(os.path.join(folder, "shadows%s.png" % suffix()))


# ---------------------------------------------------------------- lights

def smooth(t):
    t = np.clip(t, 0.0, 1.0)
    return t * t * (3 - 2 * t)


def beam_alpha(w, h, src, dst, spread, pool=None):
    """Soft cone from src (pixel coords, may lie outside) towards dst; spread is the half width
    of the cone at dst. Optional pool: (cx, cy, rx, ry) ellipse of light on the floor."""
    ys, xs = grid(w, h)
    dx, dy = dst[0] - src[0], dst[1] - src[1]
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    px, py = xs - src[0], ys - src[1]
    along = px * ux + py * uy
    perp = np.abs(px * -uy + py * ux)
    t = np.clip(along / length, 0.0, 1.4)
    half = 0.06 * spread + spread * t
    edge = 1.0 - smooth(perp / np.maximum(half, 1e-6))
    core = np.exp(-(perp / np.maximum(half * 0.45, 1e-6)) ** 2)
    a = (0.55 * edge + 0.45 * core) * (1.0 - 0.45 * t) * (along > 0)
    if pool is not None:
        cx, cy, rx, ry = pool
        d = ((xs - cx) / rx) ** 2 + ((ys - cy) / ry) ** 2
        a = a + 0.8 * np.exp(-d * 2.2)
    # Fade out towards the image border so that no hard edge shows.
    bx = smooth(np.minimum(xs, w - xs) / (0.12 * w))
    by_bottom = smooth((h - ys) / (0.06 * h))
    return np.clip(a * bx * by_bottom, 0.0, 1.0)


def search_alpha(w, h, feet):
    """A follow spot on a performer: a faint column that fades in from nothing at the top of the
    image (the beam comes from far above, no edge shows), widening a little downwards, and a
    bright pool on the floor at the feet. The column stays faint over the body so that the
    performer is lit rather than veiled; the pool carries the light."""
    ys, xs = grid(w, h)
    t = np.clip(ys / feet, 0.0, 1.2)
    half = w * (0.2 + 0.12 * t)
    column = 1.0 - smooth(np.abs(xs - w * 0.5) / half)
    column = column * smooth(ys / (0.55 * feet)) * (0.18 + 0.12 * t)
    pool_d = ((xs - w * 0.5) / (w * 0.4)) ** 2 + ((ys - feet) / (h * 0.07)) ** 2
    pool = np.exp(-pool_d * 2.0)
    a = column + 0.9 * pool
    bx = smooth(np.minimum(xs, w - xs) / (0.12 * w))
    by_bottom = smooth((h - ys) / (0.06 * h))
    return np.clip(a * bx * by_bottom, 0.0, 1.0)


def glow_alpha(w, h, cx, cy, rx, ry):
    ys, xs = grid(w, h)
    d = np.sqrt(((xs - cx) / rx) ** 2 + ((ys - cy) / ry) ** 2)
    return np.clip(np.exp(-d * d * 1.6) * smooth(np.minimum(xs, w - xs) / (0.1 * w)), 0, 1)


def write_rgba(path, alpha, color, hot=(255, 255, 245), hot_from=0.7):
    """Writes alpha (0..1) in color as a PNG; the brightest parts turn towards hot."""
    h, w = alpha.shape
    mix = np.clip((alpha - hot_from) / (1.0 - hot_from), 0.0, 1.0)[..., None]
    col = np.array(color, np.float64) * (1 - mix) + np.array(hot, np.float64) * mix
    a = np.round(alpha * 255.0)
    if SCALE != 1:
        path = path[:-len(".png")] + suffix() + ".png"
    # Cairo keeps premultiplied BGRA in native (little-endian) order.
    buf = np.zeros((h, w, 4), np.uint8)
    buf[..., 0] = np.round(col[..., 2] * a / 255.0)
    buf[..., 1] = np.round(col[..., 1] * a / 255.0)
    buf[..., 2] = np.round(col[..., 0] * a / 255.0)
    buf[..., 3] = a
    surf = cairo.ImageSurface.create_for_data(memoryview(buf), cairo.FORMAT_ARGB32, w, h, w * 4)
    if SCALE == 1:
        surf.write_to_png(path)
        return
    tmp = path + ".tmp.png"
    surf.write_to_png(tmp)
    subprocess.run(PNGQUANT + ["--output", path, tmp], check=True)
    os.remove(tmp)


def light_shapes(st):
    """Base alpha map (at stored size) of every light, keyed by the light's file stem."""
    s = sd.LIGHT_SCALE
    shapes = {}
    tw, th = (v // s for v in st["top_size"])
    bw, bh = (v // s for v in st["bottom_size"])
    ww, wh = (v // s for v in st["search_size"])
    spread = {"Rock": 0.34, "Jazz": 0.42, "Classic": 0.5, "Electronic": 0.16, "Pop": 0.3}
    # Top lights: cones from the rig down to the floor in front of the band.
    sp = spread[st["name"]] * tw
    floor = th * 0.86
    shapes["top_left"] = beam_alpha(tw, th, (tw * 0.12, -th * 0.08), (tw * 0.72, floor), sp,
                                    (tw * 0.7, floor, sp * 0.9, th * 0.05))
    shapes["top_center"] = beam_alpha(tw, th, (tw * 0.5, -th * 0.1), (tw * 0.5, floor), sp,
                                      (tw * 0.5, floor, sp * 0.9, th * 0.05))
    shapes["top_right"] = beam_alpha(tw, th, (tw * 0.88, -th * 0.08), (tw * 0.28, floor), sp,
                                     (tw * 0.3, floor, sp * 0.9, th * 0.05))
    # Bottom lights: footlights washing upwards from the stage edge.
    if st["name"] in ("Rock", "Electronic", "Pop"):
        # Uplight fans: three narrow beams from the edge.
        fan = np.zeros((bh * SCALE, bw * SCALE))
        for ang in (-0.45, 0.0, 0.45):
            dst = (bw * 0.5 + math.sin(ang) * bh, bh - math.cos(ang) * bh * 1.05)
            fan = np.maximum(fan, beam_alpha(bw, bh, (bw * 0.5, bh * 1.05), dst,
                                             0.12 * bw if st["name"] != "Pop" else 0.18 * bw))
        glow = glow_alpha(bw, bh, bw * 0.5, bh, bw * 0.45, bh * 0.35)
        base = np.clip(np.maximum(fan * 0.85, glow), 0, 1)
    else:
        base = glow_alpha(bw, bh, bw * 0.5, bh * 1.02, bw * 0.5, bh * 0.7)
    # The light falls off with height from the lamps at the edge and is gone before the image's
    # top: a beam cut by the image's edge would end in a hard line in mid-air.
    rise = grid(1, bh)[0][:, :1] / bh
    base = base * smooth(rise / 0.55)
    # Left and right footlights lean inwards.
    shapes["bottom_center"] = base
    xs = grid(bw, bh)[1] - 0.5  # the pixels' left edges at scale 1
    lean = np.clip(1.0 - (xs / bw) * 0.55, 0.3, 1.0)
    shapes["bottom_left"] = np.clip(base * (0.6 + 0.4 * lean[:, ::-1]), 0, 1)
    shapes["bottom_right"] = np.clip(base * (0.6 + 0.4 * lean), 0, 1)
    # Search lights: the image top is drawn 84 px above the sprite centre, so the feet are at
    # 84 + 76 = 160 px (drawn size).
    feet = (84 + sd.SPRITE_HALF_HEIGHT) / s
    search = search_alpha(ww, wh, feet)
    for k in ("search_left", "search_center", "search_right"):
        shapes[k] = search
    return shapes


def light_color(st, stem):
    c = st["colors"]
    if stem.startswith("top_"):
        return c["top"][("left", "center", "right").index(stem[4:])]
    if stem.startswith("bottom_"):
        return c["bottom"][("left", "center", "right").index(stem[7:])]
    return c["search"]


def make_lights(st, folder):
    out = os.path.join(folder, "lights")
    os.makedirs(out, exist_ok=True)
    n = st["frames"]
    for stem, shape in light_shapes(st).items():
        color = light_color(st, stem)
        for i in range(n):
            k = ((i + 1) / n) ** 1.5 * st["peak"]
            write_rgba(os.path.join(out, "%s_%02d.png" % (stem, i + 1)), shape * k, color,
                       hot_from=max(0.25, st["peak"] * 0.6))


# ---------------------------------------------------------------- pictures

def load_png(path):
    return cairo.ImageSurface.create_from_png(path)


def make_picture(st, folder):
    """The style picker's picture: the stage with its top lights on, 120 x 59."""
    S = SCALE
    full = cairo.ImageSurface(cairo.FORMAT_RGB24, W * S, H * S)
    ctx = cairo.Context(full)
    ctx.scale(S, S)
    stage = load_png(os.path.join(folder, "stage%s.png" % suffix()))
    ctx.save()
    ctx.scale(1 / S, 1 / S)
    ctx.set_source_surface(stage)
    ctx.paint()
    ctx.restore()
    n = st["frames"]
    tw, th = st["top_size"]
    for stem, x in (("top_left", 0), ("top_center", 407 - tw // 2), ("top_right", W - tw)):
        img = load_png(os.path.join(folder, "lights", "%s_%02d%s.png" % (stem, n, suffix())))
        ctx.save()
        ctx.translate(x, 0)
        ctx.scale(tw / img.get_width(), th / img.get_height())
        ctx.set_source_surface(img)
        ctx.get_source().set_filter(cairo.FILTER_BILINEAR)
        ctx.paint()
        ctx.restore()
    pw, ph = 120, 59
    pic = cairo.ImageSurface(cairo.FORMAT_RGB24, pw * S, ph * S)
    pctx = cairo.Context(pic)
    pctx.scale(pw / W, ph / H)
    pctx.set_source_surface(full)
    pctx.get_source().set_filter(cairo.FILTER_BEST)
    pctx.paint()
    pic.write_to_png(os.path.join(folder, "picture%s.png" % suffix()))


def make_stage(st, folder):
    os.makedirs(folder, exist_ok=True)
    surf = cairo.ImageSurface(cairo.FORMAT_RGB24, W * SCALE, H * SCALE)
    ctx = cairo.Context(surf)
    ctx.scale(SCALE, SCALE)
    rng = np.random.default_rng(sd.ORDER.index(st["name"]) + 1500)

    class Rng:  # uniform draws from one fixed stream per style
        def uniform(self, a, b):
            return float(rng.uniform(a, b))

    DRAW[st["name"]](ctx, st, Rng())
    riser.draw(ctx)
    surf.write_to_png(os.path.join(folder, "stage%s.png" % suffix()))


def main():
    global SCALE
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--scale", type=int, choices=(1, 2), default=1)
    ap.add_argument("out", nargs="?", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "styles"))
    ap.add_argument("styles", nargs="*", metavar="STYLE", help="one of " + ", ".join(sd.ORDER))
    args = ap.parse_args()
    for name in args.styles:
        if name not in sd.ORDER:
            ap.error("unknown style %s (the styles: %s)" % (name, ", ".join(sd.ORDER)))
    SCALE = args.scale
    out = args.out
    only = args.styles or sd.ORDER
    for name in only:
        st = dict(sd.STYLES[name], name=name)
        folder = os.path.join(out, st["folder"])
        make_stage(st, folder)
        make_mask(st, folder)
        make_lights(st, folder)
        make_picture(st, folder)
        print("stage", name, "->", folder)


if __name__ == "__main__":
    main()
