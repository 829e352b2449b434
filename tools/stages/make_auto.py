#!/usr/bin/python3
"""Writes the automatic style choice's weights, "auto.xml".

    tools/stages/make_auto.py [OUT]      (default OUT: data/styles/auto.xml)

Every General MIDI program gets an integer weight for each style; the style with the largest sum
over the song's instruments wins (drums do not count: they are no program). The weights favour the
instruments that mark a style: upright bass, piano, saxes and vibraphone for jazz; orchestral
strings, woodwinds, horns and harpsichord for classic; distorted guitars and picked bass for rock;
synth leads, pads, synth bass and effects for electronic; voices, electric pianos and the pop band
for pop.
"""
import os
import sys

STYLES = ("electronic", "pop", "jazz", "classic", "rock")
MULTIPLIERS = dict(electronic=1.0, jazz=1.0, pop=1.0, rock=1.0, classic=1.0)

# program: (name, {style: weight}); programs not listed weigh nothing.
W = {}


def w(program, name, **weights):
    W[program] = (name, weights)


# Piano
w(0, "Acoustic Grand Piano", jazz=4, classic=3, pop=2, rock=1)
w(1, "Bright Acoustic Piano", pop=4, rock=2, jazz=2)
w(2, "Electric Grand Piano", pop=4, rock=2)
w(3, "Honky-tonk Piano", jazz=3, rock=2)
w(4, "Electric Piano 1", pop=6, jazz=4)
w(5, "Electric Piano 2", pop=6, electronic=2)
w(6, "Harpsichord", classic=8)
w(7, "Clavinet", pop=3, rock=2, jazz=2)
# Chromatic percussion
w(8, "Celesta", classic=5)
w(9, "Glockenspiel", classic=4, pop=2)
w(10, "Music Box", pop=3)
w(11, "Vibraphone", jazz=6)
w(12, "Marimba", jazz=2, classic=2, pop=2)
w(13, "Xylophone", classic=4)
w(14, "Tubular Bells", classic=5)
w(15, "Dulcimer", classic=2, pop=1)
# Organ
w(16, "Drawbar Organ", jazz=3, rock=3, pop=1)
w(17, "Percussive Organ", rock=3, pop=3)
w(18, "Rock Organ", rock=6)
w(19, "Church Organ", classic=8)
w(20, "Reed Organ", classic=3, jazz=1)
w(21, "Accordion", pop=2, jazz=2)
w(22, "Harmonica", jazz=3, rock=2)
w(23, "Tango Accordion", jazz=2, classic=1)
# Guitar
w(24, "Acoustic Guitar (nylon)", classic=4, jazz=2, pop=2)
w(25, "Acoustic Guitar (steel)", pop=4, rock=2)
w(26, "Electric Guitar (jazz)", jazz=7)
w(27, "Electric Guitar (clean)", rock=3, pop=3)
w(28, "Electric Guitar (muted)", rock=5, pop=2)
w(29, "Overdriven Guitar", rock=10)
w(30, "Distortion Guitar", rock=10)
w(31, "Guitar Harmonics", rock=4)
# Bass
w(32, "Acoustic Bass", jazz=8, classic=1, pop=1)
w(33, "Electric Bass (finger)", rock=4, pop=4, jazz=2)
w(34, "Electric Bass (pick)", rock=6, pop=2)
w(35, "Fretless Bass", jazz=3, pop=3)
w(36, "Slap Bass 1", pop=4, rock=2)
w(37, "Slap Bass 2", pop=4, rock=2)
w(38, "Synth Bass 1", electronic=8)
w(39, "Synth Bass 2", electronic=8)
# Strings
w(40, "Violin", classic=10)
w(41, "Viola", classic=10)
w(42, "Cello", classic=10)
w(43, "Contrabass", classic=9, jazz=2)
w(44, "Tremolo Strings", classic=8)
w(45, "Pizzicato Strings", classic=8)
w(46, "Orchestral Harp", classic=8)
w(47, "Timpani", classic=9)
# Ensemble
w(48, "String Ensemble 1", classic=8, pop=2)
w(49, "String Ensemble 2", classic=8, pop=2)
w(50, "Synth Strings 1", electronic=4, classic=2, pop=2)
w(51, "Synth Strings 2", electronic=4, classic=2, pop=2)
w(52, "Choir Aahs", classic=5, pop=4)
w(53, "Voice Oohs", pop=8)
w(54, "Synth Voice", electronic=4, pop=4)
w(55, "Orchestra Hit", pop=3, electronic=3, rock=1)
# Brass
w(56, "Trumpet", jazz=4, pop=2, classic=2)
w(57, "Trombone", jazz=4, classic=2)
w(58, "Tuba", classic=6)
w(59, "Muted Trumpet", jazz=7)
w(60, "French Horn", classic=8)
w(61, "Brass Section", pop=4, jazz=3, rock=2)
w(62, "Synth Brass 1", electronic=5, pop=3)
w(63, "Synth Brass 2", electronic=5, pop=3)
# Reed
w(64, "Soprano Sax", jazz=6, pop=1)
w(65, "Alto Sax", jazz=7, pop=2)
w(66, "Tenor Sax", jazz=7, pop=2, rock=1)
w(67, "Baritone Sax", jazz=5, rock=1)
w(68, "Oboe", classic=9)
w(69, "English Horn", classic=9)
w(70, "Bassoon", classic=9)
w(71, "Clarinet", classic=6, jazz=3)
# Pipe
w(72, "Piccolo", classic=8)
w(73, "Flute", classic=7, jazz=1, pop=1)
w(74, "Recorder", classic=6)
w(75, "Pan Flute", classic=3, pop=2, electronic=1)
w(76, "Blown Bottle", classic=3)
w(77, "Shakuhachi", classic=3)
w(78, "Whistle", pop=3)
w(79, "Ocarina", classic=3, pop=1)
# Synth lead
w(80, "Lead 1 (square)", electronic=8)
w(81, "Lead 2 (sawtooth)", electronic=8)
w(82, "Lead 3 (calliope)", electronic=5, pop=1)
w(83, "Lead 4 (chiff)", electronic=6)
w(84, "Lead 5 (charang)", electronic=5, rock=4)
w(85, "Lead 6 (voice)", electronic=5, pop=3)
w(86, "Lead 7 (fifths)", electronic=7)
w(87, "Lead 8 (bass + lead)", electronic=8)
# Synth pad
w(88, "Pad 1 (new age)", electronic=6, classic=1)
w(89, "Pad 2 (warm)", electronic=6, pop=2)
w(90, "Pad 3 (polysynth)", electronic=7, pop=1)
w(91, "Pad 4 (choir)", electronic=5, pop=2)
w(92, "Pad 5 (bowed)", electronic=5, classic=1)
w(93, "Pad 6 (metallic)", electronic=6)
w(94, "Pad 7 (halo)", electronic=6)
w(95, "Pad 8 (sweep)", electronic=7)
# Synth effects
for p, n in enumerate(("FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)",
                       "FX 5 (brightness)", "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)"),
                      96):
    w(p, n, electronic=6)
# Ethnic
w(104, "Sitar", rock=1, electronic=1)
w(105, "Banjo", pop=2)
w(106, "Shamisen", classic=2)
w(107, "Koto", classic=2)
w(108, "Kalimba", pop=2)
w(109, "Bagpipe", classic=2)
w(110, "Fiddle", pop=2, classic=2)
w(111, "Shanai", classic=1)
# Percussive
w(112, "Tinkle Bell", pop=2)
w(113, "Agogo", pop=1, jazz=1)
w(114, "Steel Drums", pop=3)
w(115, "Woodblock", classic=1, jazz=1)
w(116, "Taiko Drum", rock=2, classic=2)
w(117, "Melodic Tom", rock=3, pop=1)
w(118, "Synth Drum", electronic=6)
w(119, "Reverse Cymbal", electronic=5)
# Sound effects
w(120, "Guitar Fret Noise", rock=2)
w(121, "Breath Noise")
w(122, "Seashore", electronic=1)
w(123, "Bird Tweet", classic=1)
w(124, "Telephone Ring", pop=1)
w(125, "Helicopter", electronic=1)
w(126, "Applause", pop=1)
w(127, "Gunshot", rock=1)

assert sorted(W) == list(range(128))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "styles", "auto.xml")
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<profile>", "  <styles>",
             "    <auto " + " ".join('%s="%.2f"' % (s, MULTIPLIERS[s])
                                     for s in ("electronic", "jazz", "pop", "rock", "classic"))
             + ">"]
    for p in range(128):
        name, weights = W[p]
        attrs = " ".join('%s="%d"' % (s, weights.get(s, 0)) for s in STYLES)
        lines.append('      <instrument patch="%d" %s name="%s"/>' % (p, attrs, name))
    lines += ["    </auto>", "  </styles>", "</profile>", ""]
    tmp = out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
