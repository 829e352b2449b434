#!/usr/bin/python3
"""Draws the window's skin: button faces, the two effect frames, the logo and the icon.

  tools/skin/make_skin.py [OUT_DIR]     (default: src/gui/skin)

Every button is one PNG strip of four faces side by side: normal, hover, pressed, disabled. Each
image is written at 1x ("name.png") and 2x ("name@2x.png") so that the window is sharp on high
density screens. The drawing is plain vector code with fixed colours: the output is the same on
every run. Needs Debian's python3-cairo.
"""
import math
import os
import sys

import cairo

PANEL = (49 / 255, 58 / 255, 58 / 255)
FACE = (0.30, 0.35, 0.35)
FACE_HOVER = (0.36, 0.42, 0.42)
FACE_PRESSED = (0.18, 0.22, 0.22)
INK = (0.90, 0.93, 0.93)
INK_DISABLED = (0.50, 0.54, 0.54)
ACCENT = (0.96, 0.78, 0.35)   # amber: lights, the logo
RED = (0.92, 0.35, 0.32)      # record
STATES = ('normal', 'hover', 'pressed', 'disabled')

# Hot regions of the two effect frames as fractions of the frame (left, top, right, bottom);
# the window uses the same table (src/gui/stage_controls.cpp).
LIGHT_REGIONS = [
    (0 / 3, 0.0, 1 / 3, 1 / 3), (1 / 3, 0.0, 2 / 3, 1 / 3), (2 / 3, 0.0, 3 / 3, 1 / 3),  # search 0-2
    (0 / 3, 1 / 3, 1 / 3, 2 / 3), (1 / 3, 1 / 3, 2 / 3, 2 / 3), (2 / 3, 1 / 3, 3 / 3, 2 / 3),  # pairs
    (0.0, 2 / 3, 0.5, 1.0), (0.5, 2 / 3, 1.0, 1.0),  # 6: nothing, 7: strobe
]
CROWD_REGIONS = [
    (0 / 3, 0.0, 1 / 3, 0.5), (1 / 3, 0.0, 2 / 3, 0.5), (2 / 3, 0.0, 3 / 3, 0.5),  # bravo, applause, whistle
    (0.0, 0.5, 0.5, 1.0), (0.5, 0.5, 1.0, 1.0),  # noise, speech
]


def rounded(ctx, x, y, w, h, r):
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()


def face(ctx, w, h, state):
    """A rounded button face with a soft top light; pressed faces are darker and lit from below."""
    base = {'normal': FACE, 'hover': FACE_HOVER, 'pressed': FACE_PRESSED, 'disabled': FACE}[state]
    grad = cairo.LinearGradient(0, 0, 0, h)
    top, bottom = (1.25, 0.85) if state != 'pressed' else (0.8, 1.1)
    grad.add_color_stop_rgb(0, *[min(1, c * top) for c in base])
    grad.add_color_stop_rgb(1, *[c * bottom for c in base])
    rounded(ctx, 1, 1, w - 2, h - 2, min(5, h / 4))
    ctx.set_source(grad)
    ctx.fill_preserve()
    ctx.set_line_width(1)
    ctx.set_source_rgba(0, 0, 0, 0.55)
    ctx.stroke()
    if state == 'hover':
        rounded(ctx, 2, 2, w - 4, h - 4, min(4, h / 4))
        ctx.set_source_rgba(*ACCENT, 0.45)
        ctx.stroke()


def ink(ctx, state, colour=INK):
    ctx.set_source_rgb(*(INK_DISABLED if state == 'disabled' else colour))


# --- glyphs: each draws centred in a w x h box ---

def g_play(ctx, w, h, s):
    ink(ctx, s)
    ctx.move_to(w * 0.38, h * 0.28)
    ctx.line_to(w * 0.68, h * 0.5)
    ctx.line_to(w * 0.38, h * 0.72)
    ctx.close_path()
    ctx.fill()


def g_stop(ctx, w, h, s):
    ink(ctx, s)
    side = min(w, h) * 0.38
    ctx.rectangle((w - side) / 2, (h - side) / 2, side, side)
    ctx.fill()


def g_pause(ctx, w, h, s):
    ink(ctx, s)
    bar, tall = w * 0.13, h * 0.42
    ctx.rectangle(w / 2 - bar * 1.4, (h - tall) / 2, bar, tall)
    ctx.rectangle(w / 2 + bar * 0.4, (h - tall) / 2, bar, tall)
    ctx.fill()


def g_skip(forward):
    def draw(ctx, w, h, s):
        ink(ctx, s)
        d = 1 if forward else -1
        cx, cy, size = w / 2, h / 2, min(w, h) * 0.22
        for off in (-size * 0.55, size * 0.45):
            ctx.move_to(cx + d * (off - size * 0.5), cy - size)
            ctx.line_to(cx + d * (off + size * 0.5), cy)
            ctx.line_to(cx + d * (off - size * 0.5), cy + size)
            ctx.close_path()
        ctx.fill()
        ctx.rectangle(cx + d * size * 1.0 - (0 if forward else size * 0.25), cy - size, size * 0.25, 2 * size)
        ctx.fill()
    return draw


def g_loop(ctx, w, h, s):
    ink(ctx, s)
    ctx.set_line_width(max(1.5, h * 0.07))
    r = min(w, h) * 0.26
    ctx.arc(w / 2, h / 2, r, math.radians(-60), math.radians(240))
    ctx.stroke()
    tip_x, tip_y = w / 2 + r * math.cos(math.radians(-60)), h / 2 + r * math.sin(math.radians(-60))
    ctx.move_to(tip_x + r * 0.45, tip_y - r * 0.05)
    ctx.line_to(tip_x - r * 0.1, tip_y + r * 0.45)
    ctx.line_to(tip_x - r * 0.2, tip_y - r * 0.35)
    ctx.close_path()
    ctx.fill()


def g_record(ctx, w, h, s):
    ink(ctx, s, RED)
    ctx.arc(w / 2, h / 2, min(w, h) * 0.22, 0, 2 * math.pi)
    ctx.fill()


def g_open(ctx, w, h, s):
    ink(ctx, s)
    x, y, fw, fh = w * 0.25, h * 0.3, w * 0.5, h * 0.42
    ctx.move_to(x, y + fh)
    ctx.line_to(x, y)
    ctx.line_to(x + fw * 0.35, y)
    ctx.line_to(x + fw * 0.45, y + fh * 0.15)
    ctx.line_to(x + fw, y + fh * 0.15)
    ctx.line_to(x + fw, y + fh)
    ctx.close_path()
    ctx.fill()
    ctx.set_source_rgba(*ACCENT, 0.9 if s != 'disabled' else 0.3)
    ctx.move_to(x + fw * 0.12, y + fh)
    ctx.line_to(x + fw * 0.28, y + fh * 0.38)
    ctx.line_to(x + fw * 1.12, y + fh * 0.38)
    ctx.line_to(x + fw * 0.96, y + fh)
    ctx.close_path()
    ctx.fill()


def g_save(ctx, w, h, s):
    """An arrow down into a tray: keep the show."""
    ink(ctx, s)
    cx = w / 2
    ctx.set_line_width(max(1.5, h * 0.08))
    ctx.move_to(cx - w * 0.2, h * 0.55)
    ctx.line_to(cx - w * 0.2, h * 0.72)
    ctx.line_to(cx + w * 0.2, h * 0.72)
    ctx.line_to(cx + w * 0.2, h * 0.55)
    ctx.stroke()
    ink(ctx, s, ACCENT)
    ctx.rectangle(cx - w * 0.04, h * 0.22, w * 0.08, h * 0.25)
    ctx.fill()
    ctx.move_to(cx - w * 0.13, h * 0.45)
    ctx.line_to(cx + w * 0.13, h * 0.45)
    ctx.line_to(cx, h * 0.62)
    ctx.close_path()
    ctx.fill()


def g_gear(ctx, w, h, s):
    ink(ctx, s)
    cx, cy, r = w / 2, h / 2, min(w, h) * 0.3
    for i in range(8):
        a = i * math.pi / 4
        ctx.save()
        ctx.translate(cx, cy)
        ctx.rotate(a)
        ctx.rectangle(-r * 0.18, -r * 1.05, r * 0.36, r * 0.5)
        ctx.restore()
    ctx.fill()
    ctx.arc(cx, cy, r * 0.75, 0, 2 * math.pi)
    ctx.fill()
    ctx.set_source_rgb(*FACE_PRESSED)
    ctx.arc(cx, cy, r * 0.32, 0, 2 * math.pi)
    ctx.fill()


def text_glyph(text, size_share=0.55, colour=INK, bold=True):
    def draw(ctx, w, h, s):
        ink(ctx, s, colour)
        ctx.select_font_face('DejaVu Sans', cairo.FONT_SLANT_NORMAL,
                             cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
        ctx.set_font_size(h * size_share)
        ext = ctx.text_extents(text)
        ctx.move_to((w - ext.width) / 2 - ext.x_bearing, (h - ext.height) / 2 - ext.y_bearing)
        ctx.show_text(text)
    return draw


def g_list(ctx, w, h, s):
    ink(ctx, s)
    for i in range(3):
        y = h * (0.3 + 0.17 * i)
        ctx.rectangle(w * 0.3, y, w * 0.05, h * 0.08)
        ctx.rectangle(w * 0.38, y, w * 0.32, h * 0.08)
    ctx.fill()


def g_faders(ctx, w, h, s):
    ink(ctx, s)
    for i, at in enumerate((0.6, 0.35, 0.5)):
        x = w * (0.32 + 0.18 * i)
        ctx.rectangle(x, h * 0.25, w * 0.03, h * 0.5)
        ctx.fill()
        ctx.rectangle(x - w * 0.05, h * at, w * 0.13, h * 0.1)
        ctx.fill()


def g_mic(ctx, w, h, s):
    ink(ctx, s)
    cx = w * 0.5
    rounded(ctx, cx - h * 0.1, h * 0.2, h * 0.2, h * 0.34, h * 0.1)
    ctx.fill()
    ctx.set_line_width(max(1.2, h * 0.05))
    ctx.arc(cx, h * 0.44, h * 0.17, 0, math.pi)
    ctx.stroke()
    ctx.move_to(cx, h * 0.61)
    ctx.line_to(cx, h * 0.78)
    ctx.stroke()


def g_logo(ctx, w, h, s):
    ctx.select_font_face('DejaVu Sans', cairo.FONT_SLANT_ITALIC, cairo.FONT_WEIGHT_BOLD)
    ctx.set_font_size(h * 0.55)
    ext = ctx.text_extents('Tavro')
    x, y = (w - ext.width) / 2 - ext.x_bearing, (h - ext.height) / 2 - ext.y_bearing
    grad = cairo.LinearGradient(0, h * 0.2, 0, h * 0.8)
    grad.add_color_stop_rgb(0, 1.0, 0.9, 0.55)
    grad.add_color_stop_rgb(1, *ACCENT)
    ctx.move_to(x, y)
    ctx.text_path('Tavro')
    ctx.set_source(grad if s != 'disabled' else cairo.SolidPattern(*INK_DISABLED))
    ctx.fill()


def g_arrow(up):
    def draw(ctx, w, h, s):
        ink(ctx, s)
        d = -1 if up else 1
        cx, cy, r = w / 2, h / 2, min(w, h) * 0.28
        ctx.move_to(cx - r, cy - d * r * 0.5)
        ctx.line_to(cx + r, cy - d * r * 0.5)
        ctx.line_to(cx, cy + d * r * 0.6)
        ctx.close_path()
        ctx.fill()
    return draw


def g_sun(brighter):
    def draw(ctx, w, h, s):
        ink(ctx, s, ACCENT if brighter else INK)
        cx, cy, r = w / 2, h / 2, min(w, h) * 0.16
        ctx.arc(cx, cy, r, 0, 2 * math.pi)
        ctx.fill() if brighter else ctx.stroke()
        if brighter:
            ctx.set_line_width(max(1, h * 0.05))
            for i in range(8):
                a = i * math.pi / 4
                ctx.move_to(cx + math.cos(a) * r * 1.5, cy + math.sin(a) * r * 1.5)
                ctx.line_to(cx + math.cos(a) * r * 2.2, cy + math.sin(a) * r * 2.2)
            ctx.stroke()
    return draw


def g_auto(ctx, w, h, s):
    text_glyph('A', 0.6, ACCENT)(ctx, w, h, s)


# --- the two effect frames (not strips: one image each, plus a pressed overlay per region) ---

def beam(ctx, x, y, w, h, colour, spread):
    grad = cairo.LinearGradient(x, y, x, y + h)
    grad.add_color_stop_rgba(0, *colour, 0.95)
    grad.add_color_stop_rgba(1, *colour, 0.05)
    ctx.move_to(x - w * 0.08, y)
    ctx.line_to(x + w * 0.08, y)
    ctx.line_to(x + w * spread, y + h)
    ctx.line_to(x - w * spread, y + h)
    ctx.close_path()
    ctx.set_source(grad)
    ctx.fill()


def light_frame(ctx, w, h, disabled):
    ctx.set_source_rgb(*FACE_PRESSED)
    rounded(ctx, 0.5, 0.5, w - 1, h - 1, 4)
    ctx.fill()
    a = 0.35 if disabled else 1.0
    cells = [(l * w, t * h, (r - l) * w, (b - t) * h) for l, t, r, b in LIGHT_REGIONS]
    for i, (x, y, cw, ch) in enumerate(cells):
        ctx.save()
        rounded(ctx, x + 1.5, y + 1.5, cw - 3, ch - 3, 3)
        ctx.set_source_rgba(*FACE, a)
        ctx.fill_preserve()
        ctx.clip()
        if i < 3:  # search lights: a slanted narrow beam
            ctx.translate(x + cw / 2, y + 2)
            ctx.rotate([0.35, 0.0, -0.35][i])
            beam(ctx, 0, 0, cw, ch, (1.0, 1.0, 0.85) if not disabled else INK_DISABLED, 0.22)
        elif i < 6:  # stage light pairs: two wide cones
            for dx in (-0.2, 0.2):
                beam(ctx, x + cw * (0.5 + dx), y + 2, cw * 0.7, ch, ACCENT if not disabled else INK_DISABLED, 0.3)
        elif i == 7:  # strobe: a lightning zigzag
            ctx.set_source_rgba(*INK, a)
            cx, cy = x + cw / 2, y + ch / 2
            pts = [(-0.05, -0.38), (0.12, -0.38), (0.02, -0.05), (0.14, -0.05), (-0.08, 0.4), (-0.01, 0.05), (-0.13, 0.05)]
            ctx.move_to(cx + pts[0][0] * ch * 1.6, cy + pts[0][1] * ch)
            for px, py in pts[1:]:
                ctx.line_to(cx + px * ch * 1.6, cy + py * ch)
            ctx.close_path()
            ctx.fill()
        ctx.restore()


def crowd_frame(ctx, w, h, disabled):
    ctx.set_source_rgb(*FACE_PRESSED)
    rounded(ctx, 0.5, 0.5, w - 1, h - 1, 4)
    ctx.fill()
    a = 0.35 if disabled else 1.0
    for i, (l, t, r, b) in enumerate(CROWD_REGIONS):
        x, y, cw, ch = l * w, t * h, (r - l) * w, (b - t) * h
        ctx.save()
        rounded(ctx, x + 1.5, y + 1.5, cw - 3, ch - 3, 3)
        ctx.set_source_rgba(*FACE, a)
        ctx.fill_preserve()
        ctx.clip()
        ctx.set_source_rgba(*(ACCENT if i == 0 else INK), a)
        cx, cy = x + cw / 2, y + ch / 2
        if i == 0:
            ctx.select_font_face('DejaVu Sans', cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD)
            ctx.set_font_size(ch * 0.7)
            ext = ctx.text_extents('!')
            ctx.move_to(cx - ext.width / 2 - ext.x_bearing, cy - ext.height / 2 - ext.y_bearing)
            ctx.show_text('!')
        elif i == 1:  # applause: two palms
            for dx, rot in ((-0.12, 0.3), (0.12, -0.3)):
                ctx.save()
                ctx.translate(cx + dx * cw, cy)
                ctx.rotate(rot)
                rounded(ctx, -ch * 0.1, -ch * 0.3, ch * 0.2, ch * 0.55, ch * 0.09)
                ctx.fill()
                ctx.restore()
        elif i == 2:  # whistle: a rising sweep
            ctx.set_line_width(max(1.2, ch * 0.08))
            ctx.move_to(x + cw * 0.2, y + ch * 0.7)
            ctx.curve_to(x + cw * 0.45, y + ch * 0.7, x + cw * 0.55, y + ch * 0.25, x + cw * 0.8, y + ch * 0.3)
            ctx.stroke()
        elif i == 3:  # murmur: waves
            ctx.set_line_width(max(1.0, ch * 0.06))
            for k in range(3):
                yy = y + ch * (0.35 + 0.15 * k)
                ctx.move_to(x + cw * 0.15, yy)
                for j in range(1, 9):
                    ctx.line_to(x + cw * (0.15 + 0.0875 * j), yy + (ch * 0.05 if j % 2 else -ch * 0.05))
                ctx.stroke()
        else:  # speech bubble
            rounded(ctx, x + cw * 0.25, y + ch * 0.22, cw * 0.5, ch * 0.4, ch * 0.1)
            ctx.fill()
            ctx.move_to(x + cw * 0.35, y + ch * 0.6)
            ctx.line_to(x + cw * 0.33, y + ch * 0.8)
            ctx.line_to(x + cw * 0.48, y + ch * 0.6)
            ctx.fill()
        ctx.restore()


BUTTONS = {
    # tool bar
    'open': (33, 26, g_open), 'settings': (26, 26, g_gear), 'help': (33, 26, text_glyph('?')),
    'save': (33, 26, g_save),
    # transport
    'previous': (31, 27, g_skip(False)), 'play': (30, 27, g_play), 'stop': (23, 27, g_stop),
    'pause': (25, 27, g_pause), 'next': (25, 27, g_skip(True)), 'loop': (32, 27, g_loop),
    'record': (27, 27, g_record),
    'view-playlist': (58, 33, g_list), 'view-mixer': (34, 33, g_faders),
    'view-karaoke': (58, 33, g_mic), 'logo': (81, 33, g_logo),
    # stage controls
    'counter': (22, 22, text_glyph('#', 0.6)), 'time': (22, 22, text_glyph('0:0', 0.42)),
    'noclear': (22, 22, text_glyph('~', 0.7)), 'reset': (59, 22, text_glyph('Reset', 0.45)),
    'transpose-up': (17, 11, g_arrow(True)), 'transpose-down': (17, 11, g_arrow(False)),
    'fade-lighter': (28, 22, g_sun(True)), 'fade-darker': (28, 22, g_sun(False)),
    'auto': (18, 22, g_auto),
}


def render(path, w, h, scale, draw):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, w * scale, h * scale)
    ctx = cairo.Context(surface)
    ctx.scale(scale, scale)
    draw(ctx)
    tmp = path + '.tmp'
    surface.write_to_png(tmp)
    os.replace(tmp, path)


def strip(name, w, h, glyph, out):
    def draw(ctx):
        for i, state in enumerate(STATES):
            ctx.save()
            ctx.translate(i * w, 0)
            if name != 'logo':
                face(ctx, w, h, state)
            if state == 'pressed':
                ctx.translate(0.5, 0.5)
            glyph(ctx, w, h, state)
            ctx.restore()
    for scale, suffix in ((1, ''), (2, '@2x')):
        render(os.path.join(out, f'{name}{suffix}.png'), 4 * w, h, scale, draw)


def icon(out):
    """The program icon: an amber spotlight cone over a small stage, as SVG and PNG sizes."""
    def draw(ctx, size):
        ctx.scale(size / 64, size / 64)
        rounded(ctx, 2, 2, 60, 60, 12)
        ctx.set_source_rgb(*PANEL)
        ctx.fill()
        beam(ctx, 32, 6, 64, 44, ACCENT, 0.22)
        ctx.set_source_rgb(0.2, 0.24, 0.24)
        ctx.rectangle(8, 48, 48, 8)
        ctx.fill()
        ctx.set_source_rgb(0.95, 0.95, 0.92)
        ctx.arc(32, 38, 5, 0, 2 * math.pi)
        ctx.fill()
        ctx.rectangle(28, 42, 8, 7)
        ctx.fill()
    for size in (16, 32, 48, 64, 128, 256):
        render(os.path.join(out, f'tavro-{size}.png'), size, size, 1, lambda c, s=size: draw(c, s))
    svg = os.path.join(out, 'tavro.svg')
    surface = cairo.SVGSurface(svg + '.tmp', 64, 64)
    ctx = cairo.Context(surface)
    draw(ctx, 64)
    surface.finish()
    os.replace(svg + '.tmp', svg)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..',
                                                             'src', 'gui', 'skin')
    os.makedirs(out, exist_ok=True)
    for name, (w, h, glyph) in BUTTONS.items():
        strip(name, w, h, glyph, out)
    for name, maker in (('light-frame', light_frame), ('crowd-frame', crowd_frame)):
        for disabled, suffix in ((False, ''), (True, '-disabled')):
            for scale, sx in ((1, ''), (2, '@2x')):
                render(os.path.join(out, f'{name}{suffix}{sx}.png'), 82, 56, scale,
                       lambda c, m=maker, d=disabled: m(c, 82, 56, d))
    icon(out)
    print(f'skin written to {os.path.normpath(out)}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
