#!/usr/bin/python3
"""Builds the shipped band: renders musicians with Blender (optional), palette-compresses the
frames, writes the artist files, the artist index, the patch map and the animation settings, and
draws a contact sheet per musician.

  tools/art/build.py --render drummer      render one musician, then pack everything
  tools/art/build.py --render              render every musician, then pack everything
  tools/art/build.py                       pack the frames already rendered
  tools/art/build.py --scale 2 [--render]  the same at twice the size, as NAME@2x.png

Frames are rendered into --frames (default /tmp/tavro-art-frames/<musician>/, at --scale 2
<musician>@2x/); the packed result goes to data/artists/, data/config/animation.xml and
docs/images/. The images of one scale are packed without touching those of the other; the contact
sheets are drawn from the 2x images where a musician has them.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import band  # noqa: E402

# pngquant: a fixed palette size, no dithering randomness, metadata stripped.
PNGQUANT = ["pngquant", "128", "--speed", "1", "--strip", "--force"]

GM_NAMES = [
    "Acoustic Grand Piano", "Bright Acoustic Piano", "Electric Grand Piano", "Honky-tonk Piano",
    "Electric Piano 1", "Electric Piano 2", "Harpsichord", "Clavinet",
    "Celesta", "Glockenspiel", "Music Box", "Vibraphone", "Marimba", "Xylophone",
    "Tubular Bells", "Dulcimer",
    "Drawbar Organ", "Percussive Organ", "Rock Organ", "Church Organ", "Reed Organ", "Accordion",
    "Harmonica", "Tango Accordion",
    "Acoustic Guitar (nylon)", "Acoustic Guitar (steel)", "Electric Guitar (jazz)",
    "Electric Guitar (clean)", "Electric Guitar (muted)", "Overdriven Guitar",
    "Distortion Guitar", "Guitar Harmonics",
    "Acoustic Bass", "Electric Bass (finger)", "Electric Bass (pick)", "Fretless Bass",
    "Slap Bass 1", "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",
    "Violin", "Viola", "Cello", "Contrabass", "Tremolo Strings", "Pizzicato Strings",
    "Orchestral Harp", "Timpani",
    "String Ensemble 1", "String Ensemble 2", "Synth Strings 1", "Synth Strings 2",
    "Choir Aahs", "Voice Oohs", "Synth Voice", "Orchestra Hit",
    "Trumpet", "Trombone", "Tuba", "Muted Trumpet", "French Horn", "Brass Section",
    "Synth Brass 1", "Synth Brass 2",
    "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax", "Oboe", "English Horn", "Bassoon",
    "Clarinet",
    "Piccolo", "Flute", "Recorder", "Pan Flute", "Blown Bottle", "Shakuhachi", "Whistle",
    "Ocarina",
    "Lead 1 (square)", "Lead 2 (sawtooth)", "Lead 3 (calliope)", "Lead 4 (chiff)",
    "Lead 5 (charang)", "Lead 6 (voice)", "Lead 7 (fifths)", "Lead 8 (bass + lead)",
    "Pad 1 (new age)", "Pad 2 (warm)", "Pad 3 (polysynth)", "Pad 4 (choir)", "Pad 5 (bowed)",
    "Pad 6 (metallic)", "Pad 7 (halo)", "Pad 8 (sweep)",
    "FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)",
    "FX 5 (brightness)", "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)",
    "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bagpipe", "Fiddle", "Shanai",
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock", "Taiko Drum", "Melodic Tom",
    "Synth Drum", "Reverse Cymbal",
    "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet", "Telephone Ring",
    "Helicopter", "Applause", "Gunshot",
]

# Artist patches: 1 pianist, 2 keyboardist, 3 singer, 4 electric bassist, 5 upright bassist,
# 6 lead guitarist (high parts), 7 acoustic guitarist, 8 rhythm guitarist (low parts),
# 9 violinist, 10 cellist, 11 harpist, 12 trumpeter, 13 trombonist, 14 saxophonist,
# 15 clarinettist, 16 flautist, 17 mallet player, 18 synth lead (keytar), 19 pad player, 20 DJ,
# 21 folk musician, 22 choir (a pair of singers), 204 percussionist.
PIANO, KEYS, SINGER, BASS, UPRIGHT, LEAD, ACOUSTIC, RHYTHM = 1, 2, 3, 4, 5, 6, 7, 8
VIOLIN, CELLO, HARP, TRUMPET, TROMBONE, SAX, CLARINET, FLUTE = 9, 10, 11, 12, 13, 14, 15, 16
MALLETS, KEYTAR, PADS, DJ, FOLK, CHOIR, PERC = 17, 18, 19, 20, 21, 22, 204


def patch_map():
    """Program -> artist patches, most preferred first. The analysis keeps one track per program,
    so two parts of one family in a song have two programs: the second candidate is the other
    musician of that family (violin and cello, trumpet and trombone, sax and clarinet, ...)."""
    m = {}
    for p in range(0, 4):  # pianos
        m[p] = (PIANO, KEYS)
    for p in (4, 5, 7):  # electric pianos, clavinet
        m[p] = (KEYS, PIANO)
    m[6] = (PIANO, KEYS)  # harpsichord
    for p in range(8, 15):  # celesta, glockenspiel, music box, vibraphone, marimba, xylophone, bells
        m[p] = (MALLETS, KEYS)
    m[15] = (FOLK, MALLETS)  # dulcimer: a struck folk zither
    for p in range(16, 24):  # organs and accordions
        m[p] = (KEYS, PIANO)
    m[22] = (SINGER, FOLK)  # harmonica: the singer's second instrument
    m[24] = (ACOUSTIC, RHYTHM, LEAD)
    m[25] = (ACOUSTIC, RHYTHM, LEAD)
    for p in range(26, 32):
        m[p] = (LEAD, RHYTHM, ACOUSTIC)
    m[28] = (RHYTHM, LEAD, ACOUSTIC)  # muted guitar: mostly rhythm work
    m[32] = (UPRIGHT, BASS)
    for p in range(33, 38):
        m[p] = (BASS, UPRIGHT)
    m[38] = (BASS, KEYTAR)  # synth basses
    m[39] = (BASS, KEYTAR)
    for p in (40, 41):  # violin, viola
        m[p] = (VIOLIN, CELLO)
    m[42] = (CELLO, VIOLIN)
    m[43] = (CELLO, UPRIGHT)  # contrabass, bowed
    for p in (44, 45):  # tremolo and pizzicato strings
        m[p] = (VIOLIN, CELLO)
    m[46] = (HARP, PIANO)
    m[47] = (PERC, MALLETS)  # timpani
    for p in (48, 49):  # string ensembles
        m[p] = (VIOLIN, CELLO)
    for p in (50, 51):  # synth strings
        m[p] = (PADS, KEYS)
    # The singer takes one part only, so a second voice part goes to the choir (or the singer).
    m[52] = (CHOIR, SINGER)  # choir aahs
    m[53] = (SINGER, CHOIR)  # voice oohs
    m[54] = (PADS, CHOIR, SINGER)  # synth voice
    m[55] = (HARP, KEYS)  # orchestra hit
    for p in (56, 59, 61):  # trumpet, muted trumpet, brass section
        m[p] = (TRUMPET, TROMBONE)
    for p in (57, 58, 60):  # trombone, tuba, French horn
        m[p] = (TROMBONE, TRUMPET)
    for p in (62, 63):  # synth brass
        m[p] = (KEYTAR, PADS)
    for p in range(64, 68):  # saxophones
        m[p] = (SAX, CLARINET)
    for p in range(68, 72):  # oboe, English horn, bassoon, clarinet
        m[p] = (CLARINET, SAX)
    for p in range(72, 80):  # piccolo, flute, recorder, pan flute, bottle, shakuhachi, whistle, ocarina
        m[p] = (FLUTE, CLARINET)
    for p in range(80, 88):  # synth leads
        m[p] = (KEYTAR, PADS)
    m[84] = (KEYTAR, LEAD, RHYTHM)  # charang: a guitar-like lead
    m[85] = (KEYTAR, SINGER)  # voice lead
    m[87] = (KEYTAR, BASS)  # bass + lead
    for p in range(88, 96):  # pads
        m[p] = (PADS, KEYS)
    m[91] = (PADS, CHOIR, SINGER)  # choir pad
    for p in range(96, 104):  # synth effects
        m[p] = (DJ, PADS)
    for p in (104, 105, 106, 107, 108, 109):  # sitar, banjo, shamisen, koto, kalimba, bagpipe
        m[p] = (FOLK, ACOUSTIC)
    m[108] = (FOLK, MALLETS)  # kalimba
    m[109] = (FOLK, FLUTE)  # bagpipe
    m[110] = (VIOLIN, FOLK)  # fiddle
    m[111] = (CLARINET, FOLK)  # shanai: a double reed
    m[112] = (MALLETS, PERC)  # tinkle bell
    for p in (113, 115, 116, 117):  # agogo, woodblock, taiko, melodic tom
        m[p] = (PERC, MALLETS)
    m[114] = (MALLETS, PERC)  # steel drums, played with sticks
    m[118] = (PERC, DJ)  # synth drum
    m[119] = (DJ, PERC)  # reverse cymbal
    m[120] = (LEAD, RHYTHM, ACOUSTIC)  # guitar fret noise
    m[121] = (FLUTE, DJ)  # breath noise
    for p in range(122, 128):  # seashore, bird, telephone, helicopter, applause, gunshot
        m[p] = (DJ, PADS)
    m[126] = (SINGER, DJ)  # applause: taken by the singer, who takes the bow
    assert sorted(m) == list(range(128))
    return m


def write(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


def xml_text(s):
    return s.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")


def first_patch(key):
    return int(band.ARTISTS[key]["patch"].split(",")[0])


def write_patch_map(out, keys):
    # Only musicians that are shipped are named. When those left all ask for a range (the
    # guitarists), the keyboards or the piano take the part that fits neither.
    have = {first_patch(k) for k in keys}
    ranged = {first_patch(k) for k in keys if "range" in band.ARTISTS[k]}
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             "<!-- General MIDI program -> artist patches, most preferred first. Written by",
             "     tools/art/build.py. -->",
             "<profile>", "  <patchmap>", "    <melodic>"]
    for program, wanted in sorted(patch_map().items()):
        patches = [p for p in wanted if p in have]
        if all(p in ranged for p in patches):
            patches += [p for p in (KEYS, PIANO) if p in have and p not in patches][:1]
        lines.append('      <m in="%d" map="%s" n="%s"/>'
                     % (program, ",".join(str(p) for p in patches), xml_text(GM_NAMES[program])))
    lines += ["    </melodic>", "  </patchmap>", "</profile>", ""]
    write(os.path.join(out, "patchmap.xml"), "\n".join(lines))


# Animation attributes per musician: long runs of the first pair for the drummer, shorter
# alternation for the melodic players.
PAIR_TIMING = {"drummer": (8, 8, 4, 4), "percussionist": (8, 8, 4, 4)}


def set_attributes(name):
    if name in ("slr", "srl"):
        return 'velocity="%d" easeIn="0.15" easeOut="0.15" tempo="100"' % band.WALK_VELOCITY
    if name in ("lta", "rta"):
        return 'easeIn="0" easeOut="0" tempo="100"'
    if name in ("atl", "atr"):
        return 'easeIn="0" easeOut="0.2" tempo="100"'
    return 'tempo="100" joinAt="0"'


def write_artist(out, key):
    player_info = band.ARTISTS[key]
    slen, rlen, spos, rpos = PAIR_TIMING.get(key, (4, 4, 2, 2))
    attrs = [("patch", player_info["patch"]), ("type", player_info["type"]), ("name", player_info["name"]),
             ("desc", player_info["desc"]), ("place", player_info["place"])]
    if "range" in player_info:
        attrs.append(("range", str(player_info["range"])))
    attrs += [("priority", str(player_info["priority"])), ("thumb", key + "/thumb.png")]
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             "<!-- Written by tools/art/build.py from tools/art/band.py. -->",
             "<profile>", "  <artists>",
             "    <artist " + " ".join('%s="%s"' % (k, xml_text(v)) for k, v in attrs) + ">"]
    if os.path.exists(os.path.join(out, key, "body.png")):
        # Drawn just behind the musician: the set images carry the same pieces where the
        # musician overlaps them, so hands and sticks stay in front of what they touch.
        lines += ["      <childs>",
                  '        <sprite image="%s/body.png" z-order="-10"/>' % key,
                  "      </childs>"]
    lines.append('      <animation SLen="%d" RLen="%d" SPos="%d" RPos="%d">'
                 % (slen, rlen, spos, rpos))
    for name in band.SETS:
        lines.append('        <%s %s><sprite images="%s/%s_" first="0" last="%d"/></%s>'
                     % (name, set_attributes(name), key, name, band.FRAMES[name] - 1, name))
    lines += ["      </animation>", "    </artist>", "  </artists>", "</profile>", ""]
    write(os.path.join(out, key + ".xml"), "\n".join(lines))


def write_index(out, keys):
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             "<!-- The artist index, written by tools/art/build.py. -->",
             "<profile>", "  <artists>"]
    lines += ['    <include file="%s.xml"/>' % key for key in keys]
    lines += ["  </artists>", "</profile>", ""]
    write(os.path.join(out, "artists.xml"), "\n".join(lines))


def write_animation_settings(path):
    # Tuned on the corpus with tavro-inspect --analysis: see the README.
    text = """<?xml version="1.0" encoding="utf-8"?>
<!-- When an instrument counts as playing. Written by tools/art/build.py. -->
<profile>
  <animation>
    <layout eventsMin="%d">
      <melodic staccato="%s" overlap="%s" threshold="%d"/>
      <drum threshold="%d"/>
    </layout>
  </animation>
</profile>
""" % (ANIMATION["eventsMin"], ANIMATION["staccato"], ANIMATION["overlap"],
       ANIMATION["melodic"], ANIMATION["drum"])
    write(path, text)


ANIMATION = {"eventsMin": 6, "staccato": "0.9", "overlap": "0.5", "melodic": 3, "drum": 2}


def quantize(src, dst):
    subprocess.run(PNGQUANT + ["--output", dst, src], check=True)


def lifted(src, riser, tmp, scale=1):
    """The image raised by riser pixels in a frame 2 x riser taller (transparent below), so that
    the sprite, drawn centred on its point, shows the musician riser pixels higher. riser is in
    stage pixels, the image at scale image pixels per stage pixel."""
    if riser <= 0:
        return src
    subprocess.run(["convert", src, "-background", "none", "-gravity", "north", "-extent",
                    "%dx%d" % (band_width(src), (band.FRAME_HEIGHT + 2 * riser) * scale),
                    "-define", "png:exclude-chunks=date,time", "PNG32:" + tmp], check=True)
    return tmp


def band_width(path):
    out = subprocess.run(["identify", "-format", "%w", path], check=True, capture_output=True,
                         text=True).stdout
    return int(out)


def trim_box(path, scale):
    """The image's opaque box as an ImageMagick crop geometry, widened at scale 2 to even edges
    so that it is twice the box the 1x image trims to and the two thumbnails frame alike."""
    out = subprocess.run(["convert", path, "-format", "%@", "info:"], check=True,
                         capture_output=True, text=True).stdout
    size, x, y = out.split("+")
    w, h = (int(v) for v in size.split("x"))
    x, y = int(x), int(y)
    if scale == 2:
        w, h = w + x % 2, h + y % 2
        x, y = x - x % 2, y - y % 2
        w, h = w + w % 2, h + h % 2
    return "%dx%d+%d+%d" % (w, h, x, y)


def suffix(scale):
    return "@%dx" % scale if scale != 1 else ""


def frame_dir(frames, key, scale):
    return os.path.join(frames, key + suffix(scale))


def pack_artist(frames, out, key, scale=1):
    src = frame_dir(frames, key, scale)
    dst = os.path.join(out, key)
    sx = suffix(scale)
    if not os.path.isdir(src):
        raise SystemExit("build.py: no frames for %s in %s (render them with --render %s)"
                         % (key, src, key))
    # Only this scale's images are replaced: the other scale's stay as they are.
    os.makedirs(dst, exist_ok=True)
    for f in os.listdir(dst):
        if f.endswith(".png") and (f.endswith("@2x.png") == (scale == 2)):
            os.remove(os.path.join(dst, f))
    info = band.ARTISTS[key]
    riser = info.get("riser", 0)
    order = info.get("stroke_order", {})
    tmp = os.path.join(dst, "lift.tmp.png")
    for name in band.SETS:
        for k in range(band.FRAMES[name]):
            f = "%s_%02d.png" % (name, k)
            rendered_f = "%s_%02d.png" % (name, order[name][k]) if name in order else f
            if not os.path.exists(os.path.join(src, rendered_f)):
                raise SystemExit("build.py: %s is missing %s" % (key, rendered_f))
            quantize(lifted(os.path.join(src, rendered_f), riser, tmp, scale),
                     os.path.join(dst, f[:-4] + sx + ".png"))
    if os.path.exists(os.path.join(src, "body.png")):
        quantize(lifted(os.path.join(src, "body.png"), riser, tmp, scale),
                 os.path.join(dst, "body%s.png" % sx))
    if os.path.exists(tmp):
        os.remove(tmp)
    # The thumbnail: the first playing image over its stage pieces, trimmed, 64 x 64 (at 2x
    # 128 x 128 from the 2x image).
    thumb_src = os.path.join(src, "csa_00.png")
    tmp = os.path.join(dst, "thumb.tmp.png")
    subprocess.run(["convert", thumb_src, "-crop", trim_box(thumb_src, scale), "+repage", "-resize",
                    "%dx%d" % (60 * scale, 60 * scale), "-background", "none", "-gravity",
                    "center", "-extent", "%dx%d" % (64 * scale, 64 * scale),
                    "-define", "png:exclude-chunks=date,time", tmp], check=True)
    quantize(tmp, os.path.join(dst, "thumb%s.png" % sx))
    os.remove(tmp)


def contact_sheet(out, key, docs):
    """Every image of every set in rows, over the stage pieces, on a stage-grey ground: from the
    2x images when the musician has them."""
    dst = os.path.join(out, key)
    scale = 2 if os.path.exists(os.path.join(dst, "csa_00@2x.png")) else 1
    sx = suffix(scale)
    rows = []
    tmpdir = os.path.join(docs, ".sheet-" + key)
    os.makedirs(tmpdir, exist_ok=True)
    for name in band.SETS:
        files = [os.path.join(dst, "%s_%02d%s.png" % (name, k, sx))
                 for k in range(band.FRAMES[name])]
        row = os.path.join(tmpdir, name + ".png")
        subprocess.run(["montage"] + files + ["-tile", "%dx1" % len(files), "-geometry",
                        "+%d+%d" % (2 * scale, 2 * scale), "-background", "#4a5260", row],
                       check=True)
        labelled = os.path.join(tmpdir, name + "_l.png")
        subprocess.run(["convert", row, "-background", "#4a5260", "-fill", "white",
                        "-font", "DejaVu-Sans", "-pointsize", str(14 * scale),
                        "label:" + name.upper(),
                        "+swap", "-gravity", "center", "-append", labelled], check=True)
        rows.append(labelled)
    sheet = os.path.join(docs, "artist-%s.png" % key.replace("_", "-"))
    subprocess.run(["convert"] + rows + ["-background", "#4a5260", "-gravity", "west", "-append",
                    "-define", "png:exclude-chunks=date,time", sheet + ".tmp.png"], check=True)
    subprocess.run(PNGQUANT + ["--output", sheet, sheet + ".tmp.png"], check=True)
    os.remove(sheet + ".tmp.png")
    shutil.rmtree(tmpdir)


def has_pieces(key):
    # Whether the musician leaves stage pieces (body.png) behind while walking on and off.
    info = band.ARTISTS[key]
    return (info["kind"] in ("drums", "congas", "piano", "keys", "singer", "cello", "harp",
                             "mallets", "desk", "choir") or "amp" in info or "music_stand" in info)


def rendered(frames, key, scale=1):
    src = frame_dir(frames, key, scale)
    if has_pieces(key) and not os.path.exists(os.path.join(src, "body.png")):
        return False
    return all(os.path.exists(os.path.join(src, "%s_%02d.png" % (name, k)))
               for name in band.SETS for k in range(band.FRAMES[name]))


def render(frames, key, scale=1):
    start = time.time()
    cmd = ["nice", "-n", "10", "blender", "-b", "-t", "1", "--factory-startup", "-P",
           os.path.join(HERE, "render_artist.py"), "--", key, frame_dir(frames, key, scale),
           "--scale", str(scale)]
    with open(frame_dir(frames, key, scale) + ".log", "w") as log:
        subprocess.run(cmd, check=True, stdout=log, stderr=subprocess.STDOUT)
    print("rendered %s in %.0f s" % (key, time.time() - start), flush=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("artists", nargs="*", help="musicians to render (default: all)")
    ap.add_argument("--render", action="store_true", help="render with Blender first")
    ap.add_argument("--frames", default="/tmp/tavro-art-frames")
    ap.add_argument("--scale", type=int, choices=(1, 2), default=1,
                    help="image pixels per stage pixel: 2 renders and packs NAME@2x.png")
    ap.add_argument("--only", nargs="*", help="pack only these musicians (default: every one "
                    "with frames)")
    args = ap.parse_args()
    out = os.path.join(ROOT, "data", "artists")
    docs = os.path.join(ROOT, "docs", "images")
    os.makedirs(out, exist_ok=True)
    os.makedirs(docs, exist_ok=True)
    if args.render:
        os.makedirs(args.frames, exist_ok=True)
        for key in args.artists or band.ORDER:
            render(args.frames, key, args.scale)
    # A musician ships once every image of it is rendered (or it shipped before): the index and
    # the patch map name only those, so a partly rendered band still loads.
    keys = [k for k in band.ORDER
            if rendered(args.frames, k) or os.path.isdir(os.path.join(out, k))]
    for key in keys:
        if rendered(args.frames, key, args.scale) and (not args.only or key in args.only):
            pack_artist(args.frames, out, key, args.scale)
            contact_sheet(out, key, docs)
            print("packed", key, flush=True)
        write_artist(out, key)
    write_index(out, keys)
    write_patch_map(out, keys)
    write_animation_settings(os.path.join(ROOT, "data", "config", "animation.xml"))


if __name__ == "__main__":
    main()
