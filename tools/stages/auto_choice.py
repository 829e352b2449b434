#!/usr/bin/python3
"""Shows which style the automatic choice gives each song, from "auto.xml".

    tools/stages/auto_choice.py INSPECT AUTO_XML SONG...

INSPECT is the built tavro-inspect; it prints every instrument's busy bars. The instruments that
get an artist are approximated as the program shows them: every program (0-127) with at least
8 busy bars, the 13 busiest at most. Their weights are summed and the winner is chosen with the
program's tie rule (rock before classic on a tie, either before electronic on a tie, jazz and pop
only when strictly ahead). Prints a Markdown table.
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

EVENTS_MIN = 8
MAX_ARTISTS = 13
STYLES = ("electronic", "rock", "jazz", "classic", "pop")


def load_weights(path):
    auto = ET.parse(path).getroot().find("styles/auto")
    mult = {s: float(auto.get(s, "1")) for s in STYLES}
    weights = {}
    for child in auto:
        if child.get("patch") is None:
            continue
        weights[int(child.get("patch"))] = {s: int(int(child.get(s, "0")) * mult[s])
                                            for s in STYLES}
    return weights


def choose(t):
    best = "electronic"
    rc = "classic" if t["rock"] < t["classic"] else "rock"
    if t[rc] >= t[best]:
        best = rc
    if t[best] < t["jazz"]:
        best = "jazz"
    if t[best] < t["pop"]:
        best = "pop"
    return best


def instruments(inspect, song):
    out = subprocess.run([inspect, "--analysis", song], capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        m = re.match(r"\s+(\d+)\s+(\d+)\s+(\d+) of (\d+)$", line)
        if m:
            patch, busy = int(m.group(1)), int(m.group(3))
            if patch <= 127 and busy >= EVENTS_MIN:
                found.append((busy, patch))
    found.sort(key=lambda bp: -bp[0])
    return [p for _, p in found[:MAX_ARTISTS]]


def main():
    inspect, auto_xml, songs = sys.argv[1], sys.argv[2], sys.argv[3:]
    weights = load_weights(auto_xml)
    print("| song | programs | E R J C P | style |")
    print("|---|---|---|---|")
    counts = {}
    for song in songs:
        progs = instruments(inspect, song)
        t = {s: 0 for s in STYLES}
        for p in progs:
            for s in STYLES:
                t[s] += weights.get(p, {}).get(s, 0)
        best = choose(t)
        counts[best] = counts.get(best, 0) + 1
        name = song.rsplit("/", 1)[-1]
        print("| %s | %s | %s | %s |" % (name, ",".join(map(str, sorted(progs))),
                                         " ".join(str(t[s]) for s in STYLES), best))
    print()
    print("totals: " + ", ".join("%s %d" % (s, counts.get(s, 0)) for s in STYLES))


if __name__ == "__main__":
    main()
