"""The five stage styles: geometry, colours, lights and automation settings in one table.

Shared by the generators in this folder so that the drawn lamps, the shadow lights and the style
files always agree. Stage space: x across (0 at the centre), y up, z into the stage; a stage point
maps to the 815 x 400 canvas at (x + 408, 400 - (y + 0.22 z)).
"""

STAGE_W, STAGE_H = 815, 400
# Depth of the four rows of musicians, front to back, and the screen y of their sprite centres.
ROW_DEPTHS = (200, 292, 388, 488)
SPRITE_HALF_HEIGHT = 76


def screen(x, y, z):
    """Canvas position of a stage point (floats, not truncated)."""
    return x + 408.0, 400.0 - (y + 0.22 * z)


def floor_y(z):
    return 400.0 - 0.22 * z


# Light images are stored at half the drawn size (the style draws them scaled); soft beams lose
# nothing and the files stay small.
LIGHT_SCALE = 2

# Stage lights: name -> drawn size (width, height); positions follow the style loader's placement
# (bottom row on the lower edge, top row on the upper edge, left / centre / right).
STAGE_LIGHT_NAMES = ("bottom-left", "bottom-center", "bottom-right", "top-left", "top-center",
                     "top-right")
SEARCH_LIGHT_NAMES = ("left", "center", "right")

STYLES = {
    "Rock": dict(
        # A stage light at least every 200 frames (8 s) through the song, whoever features.
        recur=200,
        folder="rock",
        depth=620.0,
        # Two lamps on the front truss; the shadows fall back and up the wall.
        lamps=((-232.0, 334.0, 90.0), (232.0, 334.0, 90.0)),
        bias=0.42,
        frames=10,
        peak=0.62,
        colors=dict(top=((255, 40, 20), (255, 170, 40), (255, 40, 20)),
                    bottom=((255, 120, 10), (255, 235, 200), (255, 120, 10)),
                    search=(255, 244, 220)),
        top_size=(300, 400), bottom_size=(300, 220), search_size=(150, 200),
        stage_env=(3, 120, 14), search_env=(4, 200, 16),
        fade=dict(depth=36, inc=6.0, out=6, attack=30, release=50, delay=1, hold=200),
        strobe=dict(freq=4, depth=150, sustain=60, lines="1,3", range="0.55,0.85"),
        stage_lines={"bottom-left": "2,5", "bottom-center": "1,4", "bottom-right": "3,6",
                     "top-left": "1,3,5", "top-center": "2,4", "top-right": "1,3,6"},
        search_lines={"left": "1,4", "center": "2,5", "right": "3,6"},
        crowd=dict(noise=(0.9, 40, 75), speech=(1.0, 10), bravo=(1.0, 20, "1,2,3,4,5"),
                   applause=(1.0, 20), whistle=(0.9, 5, "1,2,3,4,5,6")),
    ),
    "Jazz": dict(
        # A stage light at least every 400 frames (16 s) through the song, whoever features.
        recur=400,
        folder="jazz",
        depth=560.0,
        # Two pendant lamps low over a small club stage.
        lamps=((-176.0, 296.0, 130.0), (176.0, 296.0, 130.0)),
        bias=0.36,
        frames=8,
        peak=0.48,
        colors=dict(top=((255, 170, 80), (255, 205, 130), (90, 120, 255)),
                    bottom=((255, 150, 60), (255, 190, 120), (255, 150, 60)),
                    search=(255, 214, 150)),
        top_size=(280, 400), bottom_size=(260, 180), search_size=(140, 200),
        stage_env=(25, 260, 40), search_env=(20, 300, 40),
        fade=dict(depth=30, inc=6.0, out=6, attack=50, release=50, delay=1, hold=200),
        strobe=dict(freq=4, depth=60, sustain=20, lines="0", range="0.6,0.8"),
        stage_lines={"bottom-left": "3", "bottom-center": "1,4", "bottom-right": "2",
                     "top-left": "2", "top-center": "1", "top-right": "3"},
        search_lines={"left": "2", "center": "1,4", "right": "3"},
        crowd=dict(noise=(0.7, 50, 90), speech=(0.8, 15), bravo=(0.7, 35, "1,2"),
                   applause=(0.8, 25), whistle=(0.4, 10, "0")),
    ),
    "Classic": dict(
        # A stage light at least every 480 frames (19.2 s) through the song, whoever features.
        recur=480,
        folder="classic",
        depth=660.0,
        # Two chandeliers under the pelmet of the hall.
        lamps=((-262.0, 318.0, 150.0), (262.0, 318.0, 150.0)),
        bias=0.30,
        frames=12,
        peak=0.42,
        colors=dict(top=((255, 236, 200), (255, 244, 220), (255, 236, 200)),
                    bottom=((255, 220, 170), (255, 232, 190), (255, 220, 170)),
                    search=(255, 246, 228)),
        top_size=(320, 400), bottom_size=(300, 160), search_size=(160, 200),
        stage_env=(40, 320, 60), search_env=(35, 350, 60),
        fade=dict(depth=40, inc=5.0, out=6, attack=50, release=50, delay=1, hold=200),
        strobe=dict(freq=6, depth=40, sustain=12, lines="0", range="0.6,0.8"),
        stage_lines={"bottom-left": "2", "bottom-center": "1", "bottom-right": "3",
                     "top-left": "2,4", "top-center": "1", "top-right": "3,5"},
        search_lines={"left": "2", "center": "1", "right": "3"},
        crowd=dict(noise=(0.6, 60, 100), speech=(0.6, 25), bravo=(0.9, 40, "1"),
                   applause=(1.0, 15), whistle=(0.3, 10, "0")),
    ),
    "Electronic": dict(
        # A stage light at least every 100 frames (4 s) through the song, whoever features.
        recur=100,
        folder="electronic",
        depth=600.0,
        # Two moving heads on the upper truss.
        lamps=((-204.0, 332.0, 100.0), (204.0, 332.0, 100.0)),
        bias=0.45,
        frames=16,
        peak=0.66,
        colors=dict(top=((40, 220, 255), (200, 60, 255), (255, 40, 200)),
                    bottom=((60, 255, 160), (40, 200, 255), (60, 255, 160)),
                    search=(200, 240, 255)),
        top_size=(240, 400), bottom_size=(320, 240), search_size=(130, 200),
        stage_env=(1, 60, 8), search_env=(2, 120, 10),
        fade=dict(depth=40, inc=8.0, out=6, attack=25, release=50, delay=1, hold=200),
        strobe=dict(freq=5, depth=190, sustain=50, lines="1,2,3,4", range="0.5,0.85"),
        stage_lines={"bottom-left": "1,3,5", "bottom-center": "2,4,6", "bottom-right": "1,3,5",
                     "top-left": "2,4,6", "top-center": "1,2,3", "top-right": "2,4,6"},
        search_lines={"left": "1,3,5", "center": "2,4", "right": "1,3,6"},
        crowd=dict(noise=(0.9, 30, 60), speech=(0.9, 10), bravo=(0.8, 15, "1,3"),
                   applause=(1.0, 15), whistle=(1.0, 0, "1,2,3,4,5,6")),
    ),
    "Pop": dict(
        # A stage light at least every 250 frames (10 s) through the song, whoever features.
        recur=250,
        folder="pop",
        depth=600.0,
        # Two big spots hung at the corners of the top rig.
        lamps=((-282.0, 322.0, 110.0), (282.0, 322.0, 110.0)),
        bias=0.38,
        frames=12,
        peak=0.56,
        colors=dict(top=((255, 70, 170), (255, 220, 90), (70, 200, 255)),
                    bottom=((255, 120, 200), (255, 250, 230), (120, 220, 255)),
                    search=(255, 236, 245)),
        top_size=(300, 400), bottom_size=(300, 200), search_size=(150, 200),
        stage_env=(6, 180, 18), search_env=(6, 240, 20),
        fade=dict(depth=34, inc=6.0, out=6, attack=40, release=50, delay=1, hold=200),
        strobe=dict(freq=4, depth=130, sustain=40, lines="2", range="0.7,0.85"),
        stage_lines={"bottom-left": "1,4", "bottom-center": "2,5", "bottom-right": "3,6",
                     "top-left": "2,4", "top-center": "1,3", "top-right": "2,5"},
        search_lines={"left": "1,4", "center": "2,3", "right": "5,6"},
        crowd=dict(noise=(0.8, 40, 70), speech=(1.0, 8), bravo=(0.9, 25, "1,2,3"),
                   applause=(1.0, 20), whistle=(0.8, 5, "1,2,3,4")),
    ),
}

ORDER = ("Rock", "Jazz", "Classic", "Electronic", "Pop")
