#!/usr/bin/python3
"""Makes the crowd-sound collections of the five styles.

    tools/stages/make_crowd.py [OUT]     (default OUT: data/styles)

Writes OUT/<folder>/crowd/collection.ini and its mono 44.1 kHz 16-bit wave files for the series
"applause", "bravo", "whistle", "noise" (a murmur) and "speech":
- applause: hundreds of hand claps, each a short burst of band-passed noise with its own pitch,
  rate and timing, clappers joining and leaving;
- noise: many quiet espeak-ng voices saying nonsense syllables, muffled and overlapped, on a low
  noise bed;
- whistle: pitched sine sweeps (rising, falling and two-note calls) with breath noise;
- bravo: espeak-ng voices shouting, at different pitches and speeds, overlapped;
- speech: one espeak-ng line per style.
The style's room (a small club, a concert hall, an arena) comes from sox's reverb and the level of
each file. Deterministic: fixed seeds, espeak-ng is deterministic and sox runs with SOX_OPTS=-R.
Needs python3-numpy, espeak-ng and sox; takes about a minute.
"""
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stagedefs as sd  # noqa: E402

RATE = 44100

# Per style: the crowd's size, the room and the levels (peak dBFS of each series).
CROWDS = {
    "Rock": dict(clappers=160, applause_s=6.0, claps_per_s=(3.5, 6.5), whoops=True,
                 reverb=(60, 50, 100, 100, 30), levels=dict(applause=-1, bravo=-1, whistle=-2,
                                                             noise=-9, speech=-1),
                 bravo=("Yeah!", "Bravo!", "Whoo!", "Yeah!", "More!", "Bravo!", "Rock!"),
                 speech="Make some noise!", speech_voice="en+m3", murmur_voices=28),
    "Jazz": dict(clappers=22, applause_s=4.5, claps_per_s=(2.5, 4.5), whoops=False,
                 reverb=(30, 40, 25, 60, 5), levels=dict(applause=-8, bravo=-8, whistle=-12,
                                                          noise=-16, speech=-6),
                 bravo=("Yeah.", "Bravo!", "Oh yeah!", "Nice!", "Bravo."),
                 speech="Ladies and gentlemen.", speech_voice="en-us+m1", murmur_voices=10),
    "Classic": dict(clappers=90, applause_s=6.0, claps_per_s=(2.0, 3.6), whoops=False,
                    reverb=(75, 30, 100, 100, 25), levels=dict(applause=-3, bravo=-5,
                                                               whistle=-14, noise=-18,
                                                               speech=-5),
                    bravo=("Bravo!", "Bravo!", "Bravi!", "Bravo!", "Bravo!"),
                    speech="Ladies and gentlemen, please welcome.", speech_voice="en-gb+m7",
                    murmur_voices=18),
    "Electronic": dict(clappers=110, applause_s=5.0, claps_per_s=(4.0, 7.0), whoops=True,
                       reverb=(55, 40, 90, 100, 20), levels=dict(applause=-2, bravo=-2,
                                                                 whistle=-1, noise=-10,
                                                                 speech=-1),
                       bravo=("Whoo!", "Yeah!", "Bravo!", "Whoo!", "Yeah!", "Go!"),
                       speech="Put your hands up!", speech_voice="en-us+m2",
                       murmur_voices=22),
    "Pop": dict(clappers=130, applause_s=5.5, claps_per_s=(3.5, 6.0), whoops=True,
                reverb=(60, 45, 100, 100, 25), levels=dict(applause=-1, bravo=-1, whistle=-3,
                                                           noise=-9, speech=-1),
                bravo=("Whoo!", "Yeah!", "Bravo!", "I love you!", "More!", "Yeah!"),
                speech="Everybody scream!", speech_voice="en+f3", murmur_voices=26),
}

MALE = ["en+m1", "en+m2", "en+m3", "en+m4", "en+m5", "en+m6", "en+m7", "en-us+m3", "en-gb+m4"]
FEMALE = ["en+f1", "en+f2", "en+f3", "en+f4", "en-us+f2", "en-gb+f3"]

# Larger crowds clap longer: more overlapping instances of the applause per start.
STYLE_SERIES = {style: dict(applause=dict(Number=3))
                for style in ("Rock", "Classic", "Electronic", "Pop")}

# collection.ini: per series the engine's randomisation (see docs/styles.md).
SERIES = {
    "applause": dict(Proportion=0.2, ProportionRND=0.1, PitchRND=0.06, Ahead=-0.55, AheadRND=0.2,
                     VolumeReducing=0.35, VolumeReducingRND=0.15, Number=2, NumberRND=1),
    "bravo": dict(Proportion=0.1, ProportionRND=0.08, PitchRND=0.12, Ahead=-0.6, AheadRND=0.3,
                  VolumeReducing=0.4, VolumeReducingRND=0.2, Number=2, NumberRND=1),
    "whistle": dict(Proportion=0.1, ProportionRND=0.08, PitchRND=0.15, Ahead=-0.4, AheadRND=0.3,
                    VolumeReducing=0.4, VolumeReducingRND=0.2, Number=2, NumberRND=1),
    "noise": dict(Proportion=0.45, ProportionRND=0.2, PitchRND=0.05, Ahead=-0.5, AheadRND=0.1,
                  VolumeReducing=0.15, VolumeReducingRND=0.1, Number=2, NumberRND=0),
    "speech": dict(Proportion=0.05, ProportionRND=0.04, PitchRND=0.04, Ahead=0.0, AheadRND=0.0,
                   VolumeReducing=0.0, VolumeReducingRND=0.0, Number=1, NumberRND=0),
}


# ---------------------------------------------------------------- helpers

def env():
    e = dict(os.environ)
    e["SOX_OPTS"] = "-R"
    return e


def read_wav(path):
    with wave.open(path, "rb") as f:
        assert f.getsampwidth() == 2
        data = np.frombuffer(f.readframes(f.getnframes()), dtype="<i2").astype(np.float64)
        ch = f.getnchannels()
        if ch > 1:
            data = data.reshape(-1, ch).mean(axis=1)
        return data / 32768.0, f.getframerate()


def write_wav(path, x, rate=RATE):
    y = np.clip(np.round(x * 32767.0), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(rate)
        f.writeframes(y.tobytes())


def fft_filter(x, lo=None, hi=None, order=2):
    """Smooth band-pass by spectrum weighting (Butterworth-like magnitudes)."""
    n = len(x)
    spectrum = np.fft.rfft(x)
    f = np.fft.rfftfreq(n, 1.0 / RATE)
    g = np.ones_like(f)
    if lo:
        g *= 1.0 / np.sqrt(1.0 + (lo / np.maximum(f, 1e-3)) ** (2 * order))
    if hi:
        g *= 1.0 / np.sqrt(1.0 + (f / hi) ** (2 * order))
    return np.fft.irfft(spectrum * g, n)


def speak(tmp, text, voice, pitch, speed, amp=120):
    """espeak-ng to a float array at RATE."""
    raw = os.path.join(tmp, "speak.wav")
    res = os.path.join(tmp, "speak44.wav")
    subprocess.run(["espeak-ng", "-v", voice, "-p", str(pitch), "-s", str(speed), "-a", str(amp),
                    "-w", raw, text], check=True, env=env())
    subprocess.run(["sox", raw, "-b", "16", "-c", "1", res, "rate", "-v", str(RATE)], check=True,
                   env=env())
    x, _ = read_wav(res)
    # Trim the silence espeak-ng leaves around the words.
    idx = np.nonzero(np.abs(x) > 0.01)[0]
    return x[idx[0]:idx[-1] + 1] if len(idx) else x


def place(buf, clip, at, gain=1.0):
    at = int(at)
    if at >= len(buf):
        return
    n = min(len(clip), len(buf) - at)
    buf[at:at + n] += clip[:n] * gain


def finish(tmp, dry, out, reverb, level_db, tail_s=0.6):
    """Room reverb with sox, peak level, short fades; writes 44.1 kHz 16-bit mono."""
    src = os.path.join(tmp, "dry.wav")
    peak = np.max(np.abs(dry)) or 1.0
    # Room for the reverb's tail, then a fade over that tail.
    dry = np.concatenate([dry / peak * 0.5, np.zeros(int(tail_s * RATE))])
    write_wav(src, dry)
    total = "%.3f" % (int(len(dry) * 1000 / RATE) / 1000.0)
    rev, hf, room, stereo, predelay = reverb
    subprocess.run(["sox", src, "-b", "16", "-r", str(RATE), "-c", "1", out,
                    "reverb", str(rev), str(hf), str(room), str(stereo), str(predelay), "0",
                    "remix", "-", "fade", "t", "0.01", total, str(tail_s), "norm", str(level_db)],
                   check=True, env=env())


# ---------------------------------------------------------------- the series

def applause(rng, cr, seconds):
    n = int(seconds * RATE)
    out = np.zeros(n)
    # A small bank of claps: short noise bursts, band-passed around each clap's own centre.
    bank = []
    for _ in range(48):
        ln = int(rng.uniform(0.012, 0.030) * RATE)
        t = np.arange(ln) / RATE
        burst = rng.standard_normal(ln) * np.exp(-t / rng.uniform(0.003, 0.008))
        burst[: int(0.0008 * RATE)] *= np.linspace(0.2, 1.0, int(0.0008 * RATE))
        centre = rng.uniform(700, 2600)
        bank.append(fft_filter(np.concatenate([burst, np.zeros(256)]), centre * 0.55,
                               centre * 1.8))
    lo, hi = cr["claps_per_s"]
    for _ in range(cr["clappers"]):
        rate = rng.uniform(lo, hi)
        start = max(0.0, rng.normal(0.25, 0.25))
        stop = seconds - max(0.0, rng.exponential(seconds * 0.22))
        gain = rng.uniform(0.3, 1.0) * (0.6 if rng.random() < 0.5 else 1.0)
        clap = bank[int(rng.integers(len(bank)))]
        t = start
        while t < stop:
            # Claps fade as a clapper tires towards the end.
            k = 1.0 - 0.5 * max(0.0, (t - stop * 0.6) / (stop * 0.4 + 1e-6))
            place(out, clap, t * RATE, gain * k * rng.uniform(0.7, 1.0))
            t += 1.0 / rate * rng.uniform(0.85, 1.15)
    # Swell in and die away.
    tt = np.arange(n) / RATE
    envl = np.minimum(1.0, tt / 0.35) * np.clip((seconds - tt) / (seconds * 0.4), 0.0, 1.0) ** 0.7
    return out * envl


def whistles(rng, cr, seconds):
    n = int(seconds * RATE)
    out = np.zeros(n)
    count = 4 if cr["whoops"] else 2
    for i in range(count):
        kind = i % 3
        dur = rng.uniform(0.45, 0.9)
        m = int(dur * RATE)
        t = np.arange(m) / RATE
        base = rng.uniform(1500, 2300)
        if kind == 0:  # rising
            f = base + (base * 0.7) * (t / dur) ** 0.6
        elif kind == 1:  # falling
            f = base * 1.6 - base * 0.7 * (t / dur)
        else:  # wolf whistle: up, pause, up and down
            half = dur / 2
            f = np.where(t < half * 0.8, base + base * 0.6 * (t / half),
                         base * 1.5 - base * 0.8 * np.clip((t - half) / half, 0, 1))
        f = f * (1 + 0.012 * np.sin(2 * np.pi * rng.uniform(5, 7) * t))
        phase = 2 * np.pi * np.cumsum(f) / RATE
        amp = np.minimum(1, t / 0.04) * np.minimum(1, (dur - t) / 0.08)
        if kind == 2:
            amp = amp * np.where(np.abs(t - dur * 0.42) < dur * 0.05, 0.05, 1.0)
        tone = np.sin(phase) + 0.12 * np.sin(2 * phase)
        breath = fft_filter(rng.standard_normal(m), 1500, 5000) * 0.08
        at = rng.uniform(0.0, max(0.01, seconds - dur - 0.1)) if i else 0.02
        place(out, (tone + breath) * amp, at * RATE, rng.uniform(0.5, 1.0) if i else 1.0)
    return out


def voices_shout(rng, tmp, cr, seconds):
    n = int(seconds * RATE)
    out = np.zeros(n)
    words = cr["bravo"]
    voices = MALE + FEMALE
    shouts = 9 if cr["whoops"] else 6
    for i in range(shouts):
        v = voices[int(rng.integers(len(voices)))]
        clip = speak(tmp, words[i % len(words)], v, int(rng.uniform(45, 90)),
                     int(rng.uniform(130, 190)), amp=160)
        at = rng.uniform(0.0, max(0.05, seconds * 0.45)) if i else 0.02
        place(out, clip, at * RATE, rng.uniform(0.5, 1.0) if i else 1.0)
    return out


SYLLABLES = ("ba", "ta", "ma", "no", "ri", "ke", "so", "la", "do", "wen", "hul", "mer", "tis",
             "ka", "ro", "pen", "vi", "sha", "lo", "den", "ga", "fi", "tu", "mo")


def murmur(rng, tmp, cr, seconds):
    n = int(seconds * RATE)
    out = np.zeros(n)
    voices = MALE + FEMALE
    for i in range(cr["murmur_voices"]):
        words = " ".join(
            "".join(SYLLABLES[int(rng.integers(len(SYLLABLES)))]
                    for _ in range(int(rng.integers(1, 4))))
            for _ in range(int(rng.integers(5, 10))))
        clip = speak(tmp, words, voices[i % len(voices)], int(rng.uniform(30, 70)),
                     int(rng.uniform(140, 200)), amp=80)
        clip = fft_filter(clip, 150, rng.uniform(900, 1800))
        at = rng.uniform(-0.5, seconds - 1.0)
        if at < 0:
            clip = clip[int(-at * RATE):]
            at = 0
        place(out, clip, at * RATE, rng.uniform(0.3, 1.0))
    bed = fft_filter(rng.standard_normal(n), 120, 700) * 0.02 * np.std(out) / 0.02
    tt = np.arange(n) / RATE
    envl = np.minimum(1.0, tt / 0.5) * np.minimum(1.0, (seconds - tt) / 0.5)
    return (out + 0.5 * bed) * envl


def make_collection(name, out_root):
    st = sd.STYLES[name]
    cr = CROWDS[name]
    folder = os.path.join(out_root, st["folder"], "crowd")
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(7000 + sd.ORDER.index(name))
    with tempfile.TemporaryDirectory(prefix="tavro-crowd-") as tmp:
        rev = cr["reverb"]
        lv = cr["levels"]
        finish(tmp, applause(rng, cr, cr["applause_s"]), os.path.join(folder, "applause.wav"),
               rev, lv["applause"], tail_s=1.0)
        finish(tmp, voices_shout(rng, tmp, cr, 2.2), os.path.join(folder, "bravo.wav"), rev,
               lv["bravo"])
        finish(tmp, whistles(rng, cr, 1.8), os.path.join(folder, "whistle.wav"), rev,
               lv["whistle"])
        finish(tmp, murmur(rng, tmp, cr, 6.0), os.path.join(folder, "noise.wav"), rev,
               lv["noise"], tail_s=0.3)
        finish(tmp, speak(tmp, cr["speech"], cr["speech_voice"], 50, 150, amp=170),
               os.path.join(folder, "speech.wav"), rev, lv["speech"])
    lines = ["; Crowd sounds of the %s stage, made by tools/stages/make_crowd.py." % name, ""]
    for series, params in SERIES.items():
        params = dict(params, **STYLE_SERIES.get(name, {}).get(series, {}))
        lines.append("[%s]" % series)
        lines.append("WavFile=%s.wav" % series)
        for k, v in params.items():
            lines.append("%s=%s" % (k, ("%g" % v) if isinstance(v, float) else v))
        lines.append("MIDISynch=0")
        lines.append("")
    with open(os.path.join(folder, "collection.ini"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "styles")
    for name in (sys.argv[2:] or sd.ORDER):
        make_collection(name, out)
        print("crowd", name)


if __name__ == "__main__":
    main()
