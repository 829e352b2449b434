"""The drum riser drawn into every stage background: a platform at the back centre under the
drummer's place, as high as the drummer's images are lifted (tools/art/band.py "riser"), so that
he sits on it and the players in front no longer hide his kit."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "art"))
import band  # noqa: E402

ROW_OFFSETS = (137.8, 169.6, 66.25, 265.0)  # the stage layout's x of column 0 per row
HALF_FRAME = band.FRAME_HEIGHT // 2
FEET_BELOW_CENTRE = band.FEET_ROW - HALF_FRAME  # the soles, below the sprite's point
HALF_WIDTH = 80  # the kit's pieces span about 120 pixels
TOP_DEPTH = 10   # the top face seen from the hall


def drummer_place():
    info = band.ARTISTS["drummer"]
    column, row = (int(v) - 1 for v in info["place"].split(","))
    return column * 164 + ROW_OFFSETS[row], 280 - 21 * row, info.get("riser", 0)


def draw(ctx):
    x, y, height = drummer_place()
    if height <= 0:
        return
    floor = y + FEET_BELOW_CENTRE + 2  # where the drummer's soles would stand without it
    top = floor - height
    left, right = x - HALF_WIDTH, x + HALF_WIDTH
    # Top face, a little lighter towards the hall.
    ctx.move_to(left + 6, top - TOP_DEPTH)
    ctx.line_to(right - 6, top - TOP_DEPTH)
    ctx.line_to(right, top)
    ctx.line_to(left, top)
    ctx.close_path()
    ctx.set_source_rgb(56 / 255, 54 / 255, 60 / 255)
    ctx.fill()
    # Front face in black stage carpet with a few dark seams, a lit edge on top.
    ctx.rectangle(left, top, right - left, height)
    ctx.set_source_rgb(24 / 255, 23 / 255, 27 / 255)
    ctx.fill()
    ctx.set_source_rgba(0, 0, 0, 0.6)
    ctx.set_line_width(1)
    for k in range(1, 4):
        sx = left + (right - left) * k / 4 + 0.5
        ctx.move_to(sx, top + 2)
        ctx.line_to(sx, floor)
        ctx.stroke()
    ctx.rectangle(left, top, right - left, 2)
    ctx.set_source_rgb(96 / 255, 92 / 255, 100 / 255)
    ctx.fill()
    # Its shadow on the floor in front.
    ctx.rectangle(left - 2, floor, right - left + 4, 3)
    ctx.set_source_rgba(0, 0, 0, 0.45)
    ctx.fill()
