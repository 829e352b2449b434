#!/usr/bin/python3
"""Writes the style index "styles.xml" and one style file per style from stagedefs.py.

    tools/stages/make_style_files.py [OUT]     (default OUT: data/styles)

The files name the images of make_stages.py and the crowd collections of make_crowd.py, all
relative to the styles folder.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stagedefs as sd  # noqa: E402


def fmt(v):
    return ("%g" % v) if isinstance(v, float) else str(v)


def light(tag, st, stem, size, env, lines):
    f = st["folder"]
    return ('        <%s size="%d,%d" maps="%s/lights/%s_" first="1" last="%d" attack="%d" '
            'sustain="%d" release="%d">\n          <auto lines="%s"/>\n        </%s>'
            % (tag, size[0], size[1], f, stem, st["frames"], env[0], env[1], env[2], lines, tag))


def style_file(name):
    st = sd.STYLES[name]
    f = st["folder"]
    fa, sb = st["fade"], st["strobe"]
    out = ['<?xml version="1.0" encoding="utf-8"?>', "<profile>", "  <styles>",
           '    <style name="%s" stage="%s/stage.png">' % (name, f),
           "      <filters>",
           '        <fade depth="%s" inc="%s">' % (fmt(fa["depth"]), fmt(fa["inc"])),
           '          <auto out="%d" in="0" attack="%d" release="%d" delay="%d" hold="%d"/>'
           % (fa["out"], fa["attack"], fa["release"], fa["delay"], fa["hold"]),
           "        </fade>",
           '        <strobe freq="%s" depth="%s" sustain="%s">'
           % (fmt(sb["freq"]), fmt(sb["depth"]), fmt(sb["sustain"])),
           '          <auto lines="%s" range="%s"/>' % (sb["lines"], sb["range"]),
           "        </strobe>",
           "      </filters>",
           '      <ovatix collections="%s/crowd">' % f]
    cr = st["crowd"]
    vol, delay, interval = cr["noise"]
    out.append('        <noise volume="%s"><auto delay="%d" interval="%d"/></noise>'
               % (fmt(vol), delay, interval))
    vol, delay = cr["speech"]
    out.append('        <speech volume="%s"><auto delay="%d"/></speech>' % (fmt(vol), delay))
    vol, delay = cr["applause"]
    out.append('        <applause volume="%s"><auto delay="%d"/></applause>' % (fmt(vol), delay))
    for key in ("bravo", "whistle"):
        vol, delay, lines = cr[key]
        out.append('        <%s volume="%s"><auto delay="%d" lines="%s"/></%s>'
                   % (key, fmt(vol), delay, lines, key))
    out.append("      </ovatix>")
    out.append("      <searchlights>")
    for n in sd.SEARCH_LIGHT_NAMES:
        out.append(light(n, st, "search_" + n, st["search_size"], st["search_env"],
                         st["search_lines"][n]))
    out.append("      </searchlights>")
    out.append('      <stagelights recur="%d">' % st["recur"])
    for n in sd.STAGE_LIGHT_NAMES:
        row, side = n.split("-")
        size = st["top_size"] if row == "top" else st["bottom_size"]
        out.append(light(n, st, "%s_%s" % (row, side), size, st["stage_env"],
                         st["stage_lines"][n]))
    out.append("      </stagelights>")
    out.append('      <shadowlights stageDepth="%s" stageBack="true" mask="%s/shadows.png">'
               % (fmt(st["depth"]), st["folder"]))
    for (x, y, z) in st["lamps"]:
        out.append('        <light location="%s,%s,%s" bias="%s"/>'
                   % (fmt(x), fmt(y), fmt(z), fmt(st["bias"])))
    out.append("      </shadowlights>")
    out += ["    </style>", "  </styles>", "</profile>", ""]
    return "\n".join(out)


def write(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as fh:
        fh.write(text)
    os.replace(tmp, path)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "styles")
    os.makedirs(out, exist_ok=True)
    index = ['<?xml version="1.0" encoding="utf-8"?>', "<styles>"]
    for name in sd.ORDER:
        f = sd.STYLES[name]["folder"]
        write(os.path.join(out, f + ".xml"), style_file(name))
        index.append('  <include file="%s.xml"/>' % f)
    index += ["</styles>", ""]
    write(os.path.join(out, "styles.xml"), "\n".join(index))


if __name__ == "__main__":
    main()
