#!/usr/bin/python3
"""Builds the shipped band: renders musicians with Blender (optional), palette-compresses the
frames, writes the artist files, the artist index, the patch map and the animation settings, and
draws a contact sheet per musician.

  tools/art/build.py --render drummer      render one musician, then pack everything
  tools/art/build.py --render              render every musician, then pack everything
  tools/art/build.py                       pack the frames already rendered

Frames are rendered into --frames (default /tmp/tavro-art-frames/<musician>/); the packed
result goes to data/artists/, data/config/animation.xml and docs/images/.
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
# 204 percussionist. The second candidate takes the second part of a family in one song.
PIANO, KEYS, SINGER, BASS, UPRIGHT, LEAD, ACOUSTIC, RHYTHM, PERC = 1, 2, 3, 4, 5, 6, 7, 8, 204


def patch_map():
    m = {}
    for p in range(0, 4):
        m[p] = (PIANO, KEYS)
    for p in (4, 5, 7):
        m[p] = (KEYS, PIANO)
    m[6] = (PIANO, KEYS)
    for p in range(8, 16):  # chromatic percussion: mallets and bells at the keyboard
        m[p] = (KEYS, PIANO)
    for p in (12, 13):  # marimba and xylophone
        m[p] = (KEYS, PERC)
    for p in range(16, 24):
        m[p] = (KEYS, PIANO)
    m[22] = (SINGER, KEYS)  # harmonica: the singer's second instrument
    m[24] = (ACOUSTIC, RHYTHM, LEAD)
    m[25] = (ACOUSTIC, RHYTHM, LEAD)
    for p in range(26, 32):
        m[p] = (LEAD, RHYTHM, ACOUSTIC)
    m[28] = (RHYTHM, LEAD, ACOUSTIC)  # muted guitar: mostly rhythm work
    m[32] = (UPRIGHT, BASS)
    for p in range(33, 38):
        m[p] = (BASS, UPRIGHT)
    m[38] = (BASS, KEYS)
    m[39] = (BASS, KEYS)
    for p in range(40, 42):
        m[p] = (KEYS, PIANO)
    m[42] = (UPRIGHT, KEYS)  # cello: a bowed low string
    m[43] = (UPRIGHT, BASS)
    for p in (44, 45):
        m[p] = (KEYS, PIANO)
    m[46] = (PIANO, KEYS)  # harp: plucked over the whole range
    m[47] = (PERC, KEYS)
    for p in range(48, 52):
        m[p] = (KEYS, PIANO)
    for p in (52, 53, 54):
        m[p] = (SINGER, KEYS)
    m[55] = (KEYS, PIANO)
    for p in range(56, 80):  # brass, reeds and pipes: played on the keyboards
        m[p] = (KEYS, PIANO)
    m[78] = (SINGER, KEYS)  # whistle
    for p in range(80, 88):
        m[p] = (KEYS, PIANO)
    m[84] = (LEAD, KEYS)  # charang: a guitar-like lead
    m[85] = (SINGER, KEYS)  # voice lead
    m[87] = (BASS, KEYS)  # bass + lead
    for p in range(88, 104):
        m[p] = (KEYS, PIANO)
    m[91] = (SINGER, KEYS)  # choir pad
    for p in (104, 105, 106, 107):  # sitar, banjo, shamisen, koto: plucked strings
        m[p] = (ACOUSTIC, RHYTHM)
    m[108] = (PERC, KEYS)
    for p in (109, 110, 111):
        m[p] = (KEYS, PIANO)
    for p in range(112, 120):
        m[p] = (PERC, KEYS)
    m[120] = (LEAD, RHYTHM)
    m[121] = (SINGER, KEYS)
    for p in range(122, 128):
        m[p] = (KEYS, PIANO)
    m[126] = (SINGER, KEYS)  # applause: taken by the singer, who takes the bow
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
            patches += [p for p in (KEYS, PIANO) if p in have][:1]
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


def pack_artist(frames, out, key):
    src = os.path.join(frames, key)
    dst = os.path.join(out, key)
    if not os.path.isdir(src):
        raise SystemExit("build.py: no frames for %s in %s (render them with --render %s)"
                         % (key, src, key))
    if os.path.isdir(dst):
        shutil.rmtree(dst)
    os.makedirs(dst)
    for name in band.SETS:
        for k in range(band.FRAMES[name]):
            f = "%s_%02d.png" % (name, k)
            if not os.path.exists(os.path.join(src, f)):
                raise SystemExit("build.py: %s is missing %s" % (key, f))
            quantize(os.path.join(src, f), os.path.join(dst, f))
    if os.path.exists(os.path.join(src, "body.png")):
        quantize(os.path.join(src, "body.png"), os.path.join(dst, "body.png"))
    # The thumbnail: the first playing image over its stage pieces, trimmed, 64 x 64.
    thumb_src = os.path.join(src, "csa_00.png")
    tmp = os.path.join(dst, "thumb.tmp.png")
    subprocess.run(["convert", thumb_src, "-trim", "+repage", "-resize", "60x60",
                    "-background", "none", "-gravity", "center", "-extent", "64x64",
                    "-define", "png:exclude-chunks=date,time", tmp], check=True)
    quantize(tmp, os.path.join(dst, "thumb.png"))
    os.remove(tmp)


def contact_sheet(out, key, docs):
    """Every image of every set in rows, over the stage pieces, on a stage-grey ground."""
    dst = os.path.join(out, key)
    rows = []
    tmpdir = os.path.join(docs, ".sheet-" + key)
    os.makedirs(tmpdir, exist_ok=True)
    for name in band.SETS:
        files = [os.path.join(dst, "%s_%02d.png" % (name, k)) for k in range(band.FRAMES[name])]
        row = os.path.join(tmpdir, name + ".png")
        subprocess.run(["montage"] + files + ["-tile", "%dx1" % len(files), "-geometry", "+2+2",
                        "-background", "#4a5260", row], check=True)
        labelled = os.path.join(tmpdir, name + "_l.png")
        subprocess.run(["convert", row, "-background", "#4a5260", "-fill", "white",
                        "-font", "DejaVu-Sans", "-pointsize", "14", "label:" + name.upper(),
                        "+swap", "-gravity", "center", "-append", labelled], check=True)
        rows.append(labelled)
    sheet = os.path.join(docs, "artist-%s.png" % key.replace("_", "-"))
    subprocess.run(["convert"] + rows + ["-background", "#4a5260", "-gravity", "west", "-append",
                    "-define", "png:exclude-chunks=date,time", sheet + ".tmp.png"], check=True)
    subprocess.run(PNGQUANT + ["--output", sheet, sheet + ".tmp.png"], check=True)
    os.remove(sheet + ".tmp.png")
    shutil.rmtree(tmpdir)


def render(frames, key):
    start = time.time()
    cmd = ["nice", "-n", "10", "blender", "-b", "-t", "1", "--factory-startup", "-P",
           os.path.join(HERE, "render_artist.py"), "--", key, os.path.join(frames, key)]
    with open(os.path.join(frames, key + ".log"), "w") as log:
        subprocess.run(cmd, check=True, stdout=log, stderr=subprocess.STDOUT)
    print("rendered %s in %.0f s" % (key, time.time() - start), flush=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("artists", nargs="*", help="musicians to render (default: all)")
    ap.add_argument("--render", action="store_true", help="render with Blender first")
    ap.add_argument("--frames", default="/tmp/tavro-art-frames")
    ap.add_argument("--only", nargs="*", help="pack only these musicians (default: every one "
                    "with frames)")
    args = ap.parse_args()
    out = os.path.join(ROOT, "data", "artists")
    docs = os.path.join(ROOT, "docs", "images")
    os.makedirs(out, exist_ok=True)
    os.makedirs(docs, exist_ok=True)
    if args.render:
        for key in args.artists or band.ORDER:
            render(args.frames, key)
    keys = [k for k in band.ORDER if os.path.isdir(os.path.join(args.frames, k))
            or os.path.isdir(os.path.join(out, k))]
    for key in keys:
        if os.path.isdir(os.path.join(args.frames, key)) and (not args.only or key in args.only):
            pack_artist(args.frames, out, key)
            contact_sheet(out, key, docs)
            print("packed", key, flush=True)
        write_artist(out, key)
    write_index(out, keys)
    write_patch_map(out, keys)
    write_animation_settings(os.path.join(ROOT, "data", "config", "animation.xml"))


if __name__ == "__main__":
    main()
