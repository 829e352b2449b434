"""The band: every musician's look, instrument, stage place and timing, shared by the Blender
renderer (render_artist.py) and the packer (build.py)."""

PIXELS_PER_METRE = 74
FRAME_HEIGHT = 152
FEET_ROW = 150  # the lowest opaque image row: the soles stand on it in every image
ARRIVAL_SHIFT = 32  # stage pixels the arrival moves the sprite (the show's walk ends 32 px short)

SETS = ("slr", "srl", "lta", "rta", "atl", "atr", "csa", "csb", "cra", "crb", "cfa", "jab", "jba")
FRAMES = {"slr": 8, "srl": 8, "lta": 8, "rta": 8, "atl": 8, "atr": 8, "csa": 8, "csb": 8,
          "cra": 8, "crb": 8, "cfa": 8, "jab": 4, "jba": 4}

WALK_VELOCITY = 6  # stage pixels per frame: 8 walking images cover two steps of a third of a metre

# Each musician: the artist element's attributes, the renderer's look and instrument.
ARTISTS = {
    "drummer": {
        "name": "Drummer", "patch": "200,201,202,203", "type": "P", "place": "2,4",
        "priority": 210, "width": 184, "kind": "drums", "home": (0.0, 0.12),
        "desc": "Drummer at a five-piece kit: kick, snare, hi-hat and ride, toms and crash",
        "look": {"scale": 1.0, "shoulders": 0.2, "girth": 0.17, "skin": "e0ac85",
                 "shirt": "1d1d1d", "sleeve": "1d1d1d", "pants": "3b4a6b", "shoes": "202020",
                 "hair": "2b1a10", "hairstyle": "long", "beard": True, "bare_arms": True},
        "kit": {"shell": "b01f1f", "logo": "f2c12e"},
        "velocity": WALK_VELOCITY,
    },
    "bassist": {
        "name": "Bassist", "patch": "4", "type": "M", "place": "4,3", "priority": 170,
        "width": 184, "kind": "bass", "home": (-0.15, 0.0), "yaw": 10,
        "desc": "Electric bassist with a four-string bass and a bass amplifier",
        "look": {"scale": 1.04, "shoulders": 0.21, "girth": 0.16, "skin": "8d5a3b",
                 "shirt": "2e7d4f", "pants": "222831", "shoes": "e8e8e8", "hair": "111111",
                 "hairstyle": "afro"},
        "guitar": {"body": "1f4fa0", "length": 0.72, "size": 0.34, "angle": 18},
        "amp": {"at": (0.48, 0.45), "amp_height": 0.95, "grille": "2a2a2e"},
        "velocity": WALK_VELOCITY,
    },
    "lead_guitar": {
        "name": "Lead guitarist", "patch": "6", "type": "M", "place": "4,1", "priority": 200,
        "range": 60, "width": 184, "kind": "guitar", "home": (-0.15, 0.0), "yaw": -10,
        "desc": "Lead guitarist for the high guitar parts, red solid-body guitar",
        "look": {"scale": 1.0, "shoulders": 0.19, "girth": 0.15, "skin": "f1c7a5",
                 "shirt": "e9e2d0", "jacket": "151515", "sleeve": "151515", "pants": "151515", "shoes": "5a2d0c",
                 "hair": "d9b44a", "hairstyle": "long"},
        "guitar": {"body": "c41616", "length": 0.5, "size": 0.3, "angle": 24},
        "amp": {"at": (0.5, 0.45), "amp_height": 0.7, "grille": "4a3a2a"},
        "velocity": WALK_VELOCITY,
    },
    "pianist": {
        "name": "Pianist", "patch": "1", "type": "M", "place": "1,4", "priority": 190,
        "width": 264, "kind": "piano", "home": (-0.85, 0.05), "yaw": 80, "cam_x": 0.28,
        "desc": "Pianist at a black grand piano",
        "look": {"scale": 1.0, "shoulders": 0.19, "girth": 0.15, "skin": "f0c8a8",
                 "shirt": "f4f4f4", "jacket": "202038", "sleeve": "202038", "pants": "202038", "shoes": "0c0c0c",
                 "hair": "9a9a9a", "hairstyle": "short"},
        "velocity": WALK_VELOCITY,
    },
    "singer": {
        "name": "Singer", "patch": "3", "type": "M", "place": "3,1", "priority": 220,
        "width": 160, "kind": "singer", "home": (0.0, -0.02),
        "desc": "Singer at a microphone stand, for voices and choirs",
        "look": {"scale": 0.98, "shoulders": 0.18, "girth": 0.14, "skin": "c68a62",
                 "shirt": "8e2bb3", "pants": "1c1c2c", "shoes": "b01f6e", "hair": "3a1c0c",
                 "hairstyle": "ponytail", "bare_arms": True},
        "velocity": WALK_VELOCITY,
    },
    "upright_bass": {
        "name": "Upright bassist", "patch": "5", "type": "M", "place": "4,3", "priority": 165,
        "width": 184, "kind": "upright", "home": (0.1, 0.05), "yaw": -15,
        "desc": "Jazz bassist at an upright bass",
        "look": {"scale": 1.02, "shoulders": 0.2, "girth": 0.16, "skin": "6b4430",
                 "shirt": "d8c9a3", "jacket": "6e5a3a", "sleeve": "6e5a3a", "pants": "3a3226", "shoes": "2a1a0a",
                 "hair": "151515", "hairstyle": "bald", "beard": True, "hat": "2a2a2a"},
        "amp": {"at": (-0.52, 0.45), "amp_height": 0.55, "grille": "5a4630"},
        "velocity": WALK_VELOCITY,
    },
    "rhythm_guitar": {
        "name": "Rhythm guitarist", "patch": "8", "type": "M", "place": "2,1", "priority": 160,
        "range": -60, "width": 184, "kind": "guitar", "home": (0.15, 0.0), "yaw": 10,
        "desc": "Rhythm guitarist for the low guitar parts, sunburst guitar",
        "look": {"scale": 1.02, "shoulders": 0.21, "girth": 0.17, "skin": "e8b896",
                 "shirt": "2f5fa8", "pants": "4a4a52", "shoes": "1a1a1a", "hair": "a0421a",
                 "hairstyle": "short", "beard": True},
        "guitar": {"body": "d9822b", "length": 0.5, "size": 0.31, "angle": 20},
        "amp": {"at": (-0.45, 0.45), "amp_height": 0.7, "grille": "6a5a40"},
        "velocity": WALK_VELOCITY,
    },
    "acoustic_guitar": {
        "name": "Acoustic guitarist", "patch": "7", "type": "M", "place": "1,1", "priority": 150,
        "width": 184, "kind": "guitar", "home": (0.0, 0.0),
        "desc": "Acoustic guitarist with a steel-string guitar",
        "look": {"scale": 0.97, "shoulders": 0.18, "girth": 0.15, "skin": "f3d0b5",
                 "shirt": "c9a227", "pants": "4a6fa5", "shoes": "6b3b1b", "hair": "1a1a1a",
                 "hairstyle": "mohawk"},
        "amp": {"at": (0.52, 0.42), "amp_height": 0.5, "grille": "7a5a3a"},
        "guitar": {"body": "d8b27a", "length": 0.5, "size": 0.36, "angle": 20, "hole": True,
                   "guard": "3a2010"},
        "velocity": WALK_VELOCITY,
    },
    "keyboardist": {
        "name": "Keyboardist", "patch": "2", "type": "M", "place": "4,4", "priority": 180,
        "width": 176, "kind": "keys", "home": (0.0, 0.02),
        "desc": "Keyboardist and organist at a two-tier keyboard stand",
        "look": {"scale": 1.0, "shoulders": 0.2, "girth": 0.18, "skin": "f0c09a",
                 "shirt": "e07b1a", "pants": "2a2a2a", "shoes": "f0f0f0", "hair": "5a3a1a",
                 "hairstyle": "short", "hat": "2a5a8a"},
        "keys": {"accent": "8a1a1a", "tiers": 2}, "tiers": 2,
        "velocity": WALK_VELOCITY,
    },
    "percussionist": {
        "name": "Percussionist", "patch": "204", "type": "P", "place": "3,4", "priority": 140,
        "width": 160, "kind": "congas", "home": (0.0, 0.08),
        "desc": "Percussionist at a pair of congas",
        "look": {"scale": 0.96, "shoulders": 0.19, "girth": 0.15, "skin": "7a4a2a",
                 "shirt": "e8e0c0", "pants": "b03a1a", "shoes": "1a1a1a", "hair": "101010",
                 "hairstyle": "short", "hat": "c41616", "bare_arms": True},
        "velocity": WALK_VELOCITY,
    },
}

# The order of the index and of the work: the first five are the core of every band.
ORDER = ("drummer", "bassist", "lead_guitar", "pianist", "singer", "rhythm_guitar",
         "upright_bass", "acoustic_guitar", "keyboardist", "percussionist")
