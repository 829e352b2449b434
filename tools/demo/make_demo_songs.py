#!/usr/bin/python3
"""Composes the bundled demo songs and writes them as Standard MIDI Files.

  tools/demo/make_demo_songs.py [OUT_DIR]     (default: data/demo)

Writes one song per stage style (rock, jazz, classic, electronic, pop), one karaoke song and the
playlist "demo.m3u" of all six. Everything is derived from fixed seeds: running the script again
gives the same bytes.

Every song is arranged in sections so that each part of the band enters at a different time,
plays, rests for a few bars and comes back, and the lead parts take turns; the drum part changes
between grooves led by the hi-hat, the kick, the snare and the toms so that the drummer moves
through its playing sets. The songs are original: chord progressions and melodies are generated
from scales with a seeded random walk.
"""
import os
import random
import struct
import sys

DIVISION = 480
BAR = 4 * DIVISION  # every song is in 4/4

# General MIDI percussion notes used by the grooves.
KICK, SNARE, RIM, CLAP = 36, 38, 37, 39
HAT_CLOSED, HAT_PEDAL, HAT_OPEN, RIDE, RIDE_BELL = 42, 44, 46, 51, 53
CRASH, SPLASH = 49, 55
TOM_LOW, TOM_MID, TOM_HIGH, TOM_FLOOR = 45, 47, 50, 41
CONGA_HIGH, CONGA_LOW, SHAKER, CLAVES, AGOGO_HIGH, AGOGO_LOW = 63, 64, 70, 75, 67, 68

NOTE_NAMES = {'C': 0, 'D': 2, 'E': 4, 'F': 5, 'G': 7, 'A': 9, 'B': 11}
MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]
DORIAN = [0, 2, 3, 5, 7, 9, 10]


def vlq(value):
    """Variable-length quantity of a Standard MIDI File."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    """Events of one track as (tick, order, bytes); written sorted, note-offs before note-ons."""

    def __init__(self, name):
        self.events = []
        self.meta(0, 0x03, name.encode('ascii'))

    def add(self, tick, data, order=1):
        self.events.append((int(tick), order, len(self.events), bytes(data)))

    def meta(self, tick, kind, payload):
        self.add(tick, bytes([0xFF, kind]) + vlq(len(payload)) + payload, order=0)

    def note(self, tick, length, channel, key, velocity):
        if not 0 <= key <= 127:
            return
        velocity = max(1, min(127, int(velocity)))
        self.add(tick, [0x90 | channel, key, velocity], order=2)
        self.add(tick + max(1, int(length)), [0x80 | channel, key, 0], order=1)

    def control(self, tick, channel, controller, value):
        self.add(tick, [0xB0 | channel, controller, value], order=0)

    def program(self, tick, channel, program):
        self.add(tick, [0xC0 | channel, program], order=0)

    def encode(self):
        body = bytearray()
        last = 0
        for tick, _, _, data in sorted(self.events):
            body += vlq(tick - last) + data
            last = tick
        body += vlq(0) + b'\xFF\x2F\x00'
        return b'MTrk' + struct.pack('>I', len(body)) + bytes(body)


def write_song(path, tracks):
    data = b'MThd' + struct.pack('>IHHH', 6, 1, len(tracks), DIVISION)
    data += b''.join(t.encode() for t in tracks)
    tmp = path + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(data)
    os.replace(tmp, path)


def conductor(title, bpm):
    t = Track(title)
    t.meta(0, 0x58, bytes([4, 2, 24, 8]))
    t.meta(0, 0x51, struct.pack('>I', round(60000000 / bpm))[1:])
    return t


def instrument(name, channel, program, volume=100, pan=64, reverb=40):
    t = Track(name)
    t.control(0, channel, 7, volume)
    t.control(0, channel, 10, pan)
    t.control(0, channel, 91, reverb)
    t.program(0, channel, program)
    return t


def key_of(name):
    return NOTE_NAMES[name[0]] + (1 if name.endswith('#') else -1 if name.endswith('b') else 0)


def chord(root, scale, degree, size=3):
    """Scale chord on a degree (0-based), as semitones above the key's root."""
    notes = []
    for i in range(size):
        step = degree + 2 * i
        notes.append(scale[step % 7] + 12 * (step // 7) + root)
    return notes


class Song:
    """Sections laid one after the other; each section says which parts play and how."""

    def __init__(self, title, bpm, key, scale, progression, seed):
        self.title, self.bpm, self.root, self.scale = title, bpm, key_of(key), scale
        self.progression = progression
        self.rng = random.Random(seed)
        self.bar = 0
        self.tracks = {}

    def part(self, name, channel, program, **kw):
        self.tracks[name] = (instrument(name, channel, program, **kw), channel)

    def degree(self, bar):
        return self.progression[bar % len(self.progression)]

    # --- part writers: each writes one bar starting at tick s ---

    def bass(self, name, s, bar, style):
        t, ch = self.tracks[name]
        root = 36 + self.root + self.scale[self.degree(bar) % 7]
        if style == 'walk':
            for beat in range(4):
                step = self.rng.choice([0, 2, 4, 5, 7]) if beat else 0
                t.note(s + beat * DIVISION, DIVISION - 30, ch, root + step, 92 + 8 * (beat == 0))
        elif style == 'eighths':
            for i in range(8):
                t.note(s + i * DIVISION // 2, DIVISION // 2 - 40, ch,
                       root + (12 if i in (3, 7) else 0), 100 - 10 * (i % 2))
        elif style == 'synth':
            for i in range(16):
                if i % 4 != 2:
                    t.note(s + i * DIVISION // 4, DIVISION // 4 - 20, ch,
                           root + (12 if i % 8 == 6 else 0), 110 - 12 * (i % 2))
        elif style == 'long':
            t.note(s, BAR - 60, ch, root, 90)
            t.note(s + 2 * DIVISION, 2 * DIVISION - 60, ch, root + 7, 80)
            t.note(s + 3 * DIVISION, DIVISION - 60, ch, root + 12, 80)
        else:  # root and fifth
            for beat, step in enumerate([0, 7, 0, 7]):
                t.note(s + beat * DIVISION, DIVISION - 60, ch, root + step, 96)

    def chords(self, name, s, bar, style, octave=60):
        t, ch = self.tracks[name]
        notes = [octave + n for n in chord(self.root, self.scale, self.degree(bar),
                                           4 if style in ('comp', 'pad') else 3)]
        if style == 'pad':
            for n in notes:
                t.note(s, BAR - 20, ch, n, 70)
        elif style == 'comp':  # jazz comping: off-beat stabs
            for at in sorted(self.rng.sample([1, 3, 5, 6, 7], 3)):
                for n in notes:
                    t.note(s + at * DIVISION // 2, DIVISION // 2 - 40, ch, n, 72)
        elif style == 'strum':
            for i in range(8):
                for j, n in enumerate(notes + [notes[0] + 12]):
                    t.note(s + i * DIVISION // 2 + 12 * j, DIVISION // 2 - 30, ch, n,
                           98 if i % 2 == 0 else 78)
        elif style == 'power':  # power chords in eighths
            base = octave - 12 + self.scale[self.degree(bar) % 7] + self.root
            for i in range(8):
                for n in (base, base + 7, base + 12):
                    t.note(s + i * DIVISION // 2, DIVISION // 2 - 50, ch, n, 108 - 10 * (i % 2))
        elif style == 'arp':
            seq = notes + [notes[1] + 12, notes[0] + 12, notes[2]]
            for i in range(16):
                t.note(s + i * DIVISION // 4, DIVISION // 4 - 20, ch, seq[i % len(seq)], 90)
        else:  # quarters
            for beat in range(4):
                for n in notes:
                    t.note(s + beat * DIVISION, DIVISION - 40, ch, n, 84 - 8 * (beat % 2))

    def melody(self, name, s, bar, octave=72, density=0.75, legato=False):
        """A random walk on the scale that lands on a chord tone on the first beat."""
        t, ch = self.tracks[name]
        step_len = DIVISION // 2
        pos = getattr(self, '_pos_' + name, 7)
        target = chord(0, [0, 1, 2, 3, 4, 5, 6], self.degree(bar))[0]
        for i in range(8):
            if i == 0:
                pos = target + 7 * round((pos - target) / 7)
            elif self.rng.random() > density:
                continue
            else:
                pos += self.rng.choice([-2, -1, -1, 1, 1, 2])
                pos = max(0, min(13, pos))
            key = octave + self.root + self.scale[pos % 7] + 12 * (pos // 7) - 12
            length = step_len * (2 if legato and i % 2 == 0 else 1) - 30
            t.note(s + i * step_len, length, ch, key, 96 + self.rng.randint(-8, 8))
        setattr(self, '_pos_' + name, pos)

    def drums(self, s, groove, fill=False):
        t, ch = self.tracks['Drums']
        e = DIVISION // 2
        if groove == 'hats':  # hi-hat leads: eight hats, kick on 1 and 3, backbeat snare
            for i in range(8):
                t.note(s + i * e, 60, ch, HAT_CLOSED, 90 if i % 2 == 0 else 70)
            for at in (0, 4):
                t.note(s + at * e, 60, ch, KICK, 110)
            for at in (2, 6):
                t.note(s + at * e, 60, ch, SNARE, 105)
        elif groove == 'ride':  # jazz ride pattern with a feathered kick
            for at in (0, 2, 3, 4, 6, 7):
                t.note(s + at * e + (40 if at % 2 else 0), 60, ch, RIDE, 88)
            for at in (2, 6):
                t.note(s + at * e, 60, ch, HAT_PEDAL, 70)
            t.note(s, 60, ch, KICK, 60)
        elif groove == 'four':  # four on the floor, doubled: the kick leads
            for i in range(8):
                t.note(s + i * e, 60, ch, KICK, 118)
            for at in (1, 3, 5, 7):
                t.note(s + at * e, 60, ch, HAT_OPEN, 80)
            t.note(s + 4 * e, 60, ch, CLAP, 100)
        elif groove == 'snare':  # a snare roll building up: the snare leads
            for i in range(16):
                t.note(s + i * e // 2, 40, ch, SNARE, 60 + 4 * i)
            t.note(s, 60, ch, KICK, 110)
        elif groove == 'toms':  # tom groove with crashes: toms and cymbals lead
            for i, tom in enumerate([TOM_HIGH, TOM_HIGH, TOM_MID, TOM_MID,
                                     TOM_LOW, TOM_LOW, TOM_FLOOR, TOM_FLOOR]):
                t.note(s + i * e, 60, ch, tom, 100 + 2 * i)
            t.note(s, 60, ch, CRASH, 110)
            t.note(s + 4 * e, 60, ch, KICK, 110)
        elif groove == 'orchestral':  # bass drum, cymbal swells and toms as timpani
            t.note(s, 200, ch, KICK, 90)
            t.note(s + 4 * e, 200, ch, TOM_FLOOR, 90)
            for i in range(4):
                t.note(s + 6 * e + i * e // 4, 40, ch, TOM_LOW, 70 + 8 * i)
            t.note(s, 400, ch, CRASH, 70)
        if fill:
            for i in range(4):
                t.note(s + 6 * e + i * e // 2, 40, ch, [TOM_HIGH, TOM_MID, TOM_LOW, TOM_FLOOR][i], 112)

    def percussion(self, s):
        t, ch = self.tracks['Drums']
        e = DIVISION // 2
        # congas on two beats, the rest on shaker, claves and agogo
        for at, n in ((1, CONGA_HIGH), (5, CONGA_LOW)):
            t.note(s + at * e + e // 4, 50, ch, n, 84)
        for i in range(8):
            t.note(s + i * e, 40, ch, SHAKER, 64)
        for at in (0, 3, 6):
            t.note(s + at * e, 40, ch, CLAVES, 80)
        for at, n in ((2, AGOGO_HIGH), (7, AGOGO_LOW)):
            t.note(s + at * e, 40, ch, n, 76)

    def section(self, bars, parts):
        """parts: name -> callable(song, start_tick, bar_index, bar_in_section)."""
        for b in range(bars):
            s = (self.bar + b) * BAR
            for writer in parts.values():
                writer(self, s, self.bar + b, b)
        self.bar += bars

    def write(self, path, extra=()):
        tracks = [conductor(self.title, self.bpm)]
        tracks += list(extra)
        tracks += [t for t, _ in self.tracks.values()]
        # a final chord: every part holds the tonic for one bar
        end = self.bar * BAR
        for t, ch in self.tracks.values():
            if ch != 9:
                t.note(end, BAR - 40, ch, 48 + self.root, 80)
            else:
                t.note(end, 200, ch, CRASH, 110)
        write_song(path, tracks)
        seconds = (self.bar + 1) * 240 / self.bpm
        return seconds


def B(name, style):
    return lambda song, s, bar, b: song.bass(name, s, bar, style)


def C(name, style, octave=60):
    return lambda song, s, bar, b: song.chords(name, s, bar, style, octave)


def M(name, octave=72, density=0.75, legato=False):
    return lambda song, s, bar, b: song.melody(name, s, bar, octave, density, legato)


def D(groove, fill_every=4):
    return lambda song, s, bar, b: song.drums(s, groove, fill_every and b % fill_every == fill_every - 1)


def P():
    return lambda song, s, bar, b: song.percussion(s)


def rock():
    song = Song('Gravel Road', 132, 'E', MINOR, [0, 5, 2, 6], seed=101)
    song.part('Drums', 9, 0)
    song.part('Bass', 1, 33, pan=60)
    song.part('Rhythm guitar', 2, 30, pan=40, volume=92)
    song.part('Lead guitar', 3, 29, pan=88, volume=96)
    song.part('Organ', 4, 18, pan=76, volume=80)
    song.section(4, {'d': D('hats', 0), 'b': B('Bass', 'eighths')})
    song.section(8, {'d': D('hats'), 'b': B('Bass', 'eighths'), 'r': C('Rhythm guitar', 'power', 52)})
    song.section(8, {'d': D('four'), 'b': B('Bass', 'eighths'), 'r': C('Rhythm guitar', 'power', 52),
                     'o': C('Organ', 'pad', 60), 'l': M('Lead guitar', 76)})
    song.section(4, {'d': D('snare', 0), 'o': C('Organ', 'quarters', 60)})
    song.section(8, {'d': D('hats'), 'b': B('Bass', 'eighths'), 'l': M('Lead guitar', 79, 0.95)})
    song.section(8, {'d': D('toms', 0), 'b': B('Bass', 'eighths'), 'r': C('Rhythm guitar', 'power', 52),
                     'o': C('Organ', 'pad', 60), 'l': M('Lead guitar', 76)})
    song.section(4, {'d': D('four', 2), 'b': B('Bass', 'eighths'), 'r': C('Rhythm guitar', 'power', 52)})
    return song


def jazz():
    song = Song('Late Lamp', 148, 'F', DORIAN, [1, 4, 0, 5], seed=202)
    song.part('Drums', 9, 0)
    song.part('Upright bass', 1, 32, pan=56)
    song.part('Piano', 2, 0, pan=70)
    song.part('Tenor sax', 3, 66, pan=84)
    song.part('Vibraphone', 4, 11, pan=36, volume=84)
    song.section(4, {'p': C('Piano', 'comp', 60), 'b': B('Upright bass', 'walk')})
    song.section(8, {'d': D('ride'), 'b': B('Upright bass', 'walk'), 'p': C('Piano', 'comp', 60),
                     's': M('Tenor sax', 67, 0.8, legato=True)})
    song.section(8, {'d': D('ride'), 'b': B('Upright bass', 'walk'), 'p': M('Piano', 76, 0.95)})
    song.section(8, {'d': D('ride'), 'b': B('Upright bass', 'walk'), 'p': C('Piano', 'comp', 60),
                     'v': M('Vibraphone', 79, 0.9)})
    song.section(2, {'d': D('snare', 0), 'p': C('Piano', 'comp', 60)})
    song.section(4, {'d': D('toms', 2)})
    song.section(8, {'d': D('ride'), 'b': B('Upright bass', 'walk'), 'p': C('Piano', 'comp', 60),
                     's': M('Tenor sax', 67, 0.8, legato=True), 'v': C('Vibraphone', 'quarters', 72)})
    return song


def classic():
    song = Song('Northern Garden', 96, 'D', MAJOR, [0, 4, 5, 3, 0, 3, 4, 4], seed=303)
    song.part('Drums', 9, 0)
    song.part('Strings', 1, 48, pan=50, volume=90)
    song.part('Cello', 2, 42, pan=40)
    song.part('Violin', 3, 40, pan=80)
    song.part('Flute', 4, 73, pan=90)
    song.part('Clarinet', 5, 71, pan=30)
    song.section(4, {'s': C('Strings', 'pad', 60), 'c': B('Cello', 'long')})
    song.section(8, {'s': C('Strings', 'pad', 60), 'c': B('Cello', 'long'), 'v': M('Violin', 76, 0.85)})
    song.section(4, {'f': M('Flute', 84, 0.9), 'k': C('Clarinet', 'quarters', 60), 'd': D('orchestral', 0)})
    song.section(8, {'s': C('Strings', 'quarters', 60), 'c': B('Cello', 'root'), 'v': M('Violin', 79, 0.9),
                     'f': M('Flute', 84, 0.7), 'd': D('orchestral', 0)})
    song.section(4, {'k': M('Clarinet', 67, 0.9, legato=True), 'c': B('Cello', 'long')})
    song.section(8, {'s': C('Strings', 'pad', 60), 'c': B('Cello', 'root'), 'v': M('Violin', 76, 0.8),
                     'f': C('Flute', 'arp', 72), 'k': C('Clarinet', 'quarters', 60), 'd': D('orchestral', 0)})
    return song


def electronic():
    song = Song('Neon Tide', 124, 'A', MINOR, [0, 5, 3, 6], seed=404)
    song.part('Drums', 9, 0)
    song.part('Synth bass', 1, 38, pan=64)
    song.part('Pad', 2, 89, pan=40, volume=80)
    song.part('Lead', 3, 81, pan=88, volume=92)
    song.part('Arpeggio', 4, 80, pan=24, volume=80)
    song.section(4, {'d': D('four', 0), 'p': C('Pad', 'pad', 60)})
    song.section(8, {'d': D('four'), 'b': B('Synth bass', 'synth'), 'p': C('Pad', 'pad', 60),
                     'a': C('Arpeggio', 'arp', 72)})
    song.section(8, {'d': D('hats'), 'b': B('Synth bass', 'synth'), 'l': M('Lead', 79, 0.9)})
    song.section(4, {'d': D('snare', 0), 'p': C('Pad', 'pad', 60)})
    song.section(8, {'d': D('four'), 'b': B('Synth bass', 'synth'), 'p': C('Pad', 'pad', 60),
                     'a': C('Arpeggio', 'arp', 72), 'l': M('Lead', 79, 0.9)})
    song.section(8, {'d': D('toms', 0), 'b': B('Synth bass', 'synth'), 'a': C('Arpeggio', 'arp', 72)})
    return song


def pop():
    song = Song('Paper Kites', 112, 'G', MAJOR, [0, 4, 5, 3], seed=505)
    song.part('Drums', 9, 0)
    song.part('Bass', 1, 33, pan=64)
    song.part('Electric piano', 2, 4, pan=44)
    song.part('Voice', 3, 53, pan=64, volume=104)
    song.part('Guitar', 4, 27, pan=90, volume=86)
    song.section(4, {'e': C('Electric piano', 'quarters', 60), 'g': C('Guitar', 'strum', 55)})
    song.section(8, {'d': D('hats'), 'b': B('Bass', 'root'), 'e': C('Electric piano', 'quarters', 60),
                     'v': M('Voice', 72, 0.8, legato=True)})
    song.section(8, {'d': D('four'), 'b': B('Bass', 'eighths'), 'g': C('Guitar', 'strum', 55),
                     'v': M('Voice', 74, 0.9)})
    song.section(4, {'e': M('Electric piano', 72, 0.9), 'b': B('Bass', 'root')})
    song.section(8, {'d': D('hats'), 'b': B('Bass', 'root'), 'e': C('Electric piano', 'quarters', 60),
                     'g': M('Guitar', 72, 0.85), 'p': P()})
    song.section(8, {'d': D('toms', 0), 'b': B('Bass', 'eighths'), 'g': C('Guitar', 'strum', 55),
                     'v': M('Voice', 74, 0.9), 'e': C('Electric piano', 'quarters', 60)})
    return song


# Original lyrics of the karaoke song: pages start with "\", lines with "/".
KARAOKE_PAGES = [
    ['Lights come up on the old town square',
     'Somebody hums and the night is there'],
    ['Pick up a drum and pick up a song',
     'Everybody here can sing along'],
    ['Hey hey, under the lantern glow',
     'Hey hey, nobody wants to go'],
    ['Strings of the moon on the water run',
     'We keep on singing till the night is done'],
    ['Hey hey, under the lantern glow',
     'Hey hey, sing it soft and slow'],
]


def syllables(line):
    """Splits a lyric line into singable pieces: words, long words in two."""
    out = []
    for word in line.split(' '):
        if len(word) > 6:
            cut = len(word) // 2
            out += [word[:cut], word[cut:] + ' ']
        else:
            out.append(word + ' ')
    out[-1] = out[-1].rstrip(' ')
    return out


def karaoke():
    song = Song('Lantern Glow', 104, 'C', MAJOR, [0, 5, 3, 4], seed=606)
    song.part('Drums', 9, 0)
    song.part('Bass', 1, 33, pan=64)
    song.part('Piano', 2, 0, pan=44)
    song.part('Melody', 3, 73, pan=64, volume=100)
    song.part('Strings', 4, 49, pan=80, volume=76)
    # As karaoke files lay them out: a track of file headers, then the words with their own.
    header = Track('Soft karaoke')
    for text in ('@KMIDI KARAOKE FILE', '@V0100', '@IOriginal words and music made for Tavro'):
        header.meta(0, 0x01, text.encode('ascii'))
    words = Track('Words')
    for text in ('@LENGL', '@TLantern Glow', '@TTavro demo song'):
        words.meta(0, 0x01, text.encode('ascii'))
    song.section(4, {'p': C('Piano', 'quarters', 60), 'b': B('Bass', 'root')})
    for page_no, page in enumerate(KARAOKE_PAGES):
        start_bar = song.bar
        t, ch = song.tracks['Melody']
        for line_no, line in enumerate(page):
            pieces = syllables(line)
            s0 = (start_bar + 2 * line_no) * BAR
            step = (2 * BAR - DIVISION) // len(pieces)
            for i, piece in enumerate(pieces):
                at = s0 + i * step
                prefix = ('\\' if line_no == 0 else '/') if i == 0 else ''
                words.meta(at, 0x01, (prefix + piece).encode('ascii'))
                degree = (i + page_no) % 5
                key = 72 + song.root + song.scale[[0, 2, 4, 2, 1][degree]] - (12 if page_no % 2 else 0)
                t.note(at, step - 30, ch, key, 100)
        chorus = page_no in (2, 4)
        parts = {'d': D('four' if chorus else 'hats'), 'b': B('Bass', 'eighths' if chorus else 'root')}
        if page_no != 3:  # the piano rests while the strings carry the fourth page
            parts['p'] = C('Piano', 'quarters', 60)
        if chorus or page_no == 3:
            parts['s'] = C('Strings', 'pad', 60)
        song.section(4, parts)
        if page_no == 2:
            song.section(4, {'d': D('snare', 0), 'p': M('Piano', 76, 0.9), 's': C('Strings', 'pad', 60)})
    song.section(4, {'d': D('toms', 2), 'b': B('Bass', 'root'), 'p': C('Piano', 'quarters', 60),
                     's': C('Strings', 'pad', 60)})
    return song, [header, words]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..',
                                                             'data', 'demo')
    os.makedirs(out, exist_ok=True)
    names = []
    for file_name, make in (('rock.mid', rock), ('jazz.mid', jazz), ('classic.mid', classic),
                            ('electronic.mid', electronic), ('pop.mid', pop)):
        song = make()
        seconds = song.write(os.path.join(out, file_name))
        names.append(file_name)
        print(f'{file_name}: "{song.title}", {song.bar + 1} bars, {seconds:.0f} s')
    song, text_tracks = karaoke()
    seconds = song.write(os.path.join(out, 'lantern.kar'), extra=text_tracks)
    names.append('lantern.kar')
    print(f'lantern.kar: "{song.title}", {song.bar + 1} bars, {seconds:.0f} s')
    playlist = os.path.join(out, 'demo.m3u')
    with open(playlist + '.tmp', 'w') as f:
        # Paths are relative to the playlist's own folder.
        f.write('#EXTM3U\n' + '\n'.join(names) + '\n')
    os.replace(playlist + '.tmp', playlist)
    return 0


if __name__ == '__main__':
    sys.exit(main())
