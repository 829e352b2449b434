#!/usr/bin/env python3
"""How the drummer's leading drum group changes over a set of songs.

Runs `tavro-inspect --analysis` on every song and reads its "drummer's group by bar" lines.
Prints the share of drum bars each group leads, how often the lead changes, how often it goes
straight back (A B A), and how many songs stay on one group throughout.

  tools/data/drum_group_stats.py INSPECT CONFIG_PARENT SONG...
    INSPECT        the tavro-inspect program
    CONFIG_PARENT  a folder holding config/analysis.xml (e.g. data)
"""
import collections
import os
import subprocess
import sys


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    tool, folder, songs = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    share = collections.Counter()
    bars = changes = backs = single = with_drums = 0
    for song in songs:
        out = subprocess.run([tool, '--analysis', os.path.abspath(song)], cwd=folder,
                             capture_output=True, text=True).stdout.split('\n')
        if "    drummer's group by bar:" not in out:
            continue
        start = out.index("    drummer's group by bar:") + 1
        lead = ''.join(l.strip() for l in out[start:] if l.startswith('      ')).replace('.', '')
        if not lead:
            continue
        with_drums += 1
        share.update(lead)
        bars += len(lead)
        changes += sum(a != b for a, b in zip(lead, lead[1:]))
        backs += sum(a != b and a == c for a, b, c in zip(lead, lead[1:], lead[2:]))
        single += len(set(lead)) == 1
    if bars == 0:
        print('no drum bars')
        return 1
    print(f'songs with drums: {with_drums}, drum bars: {bars}')
    print('bars led by group: ' +
          ', '.join(f'{g}: {100 * n / bars:.0f} %' for g, n in sorted(share.items())))
    print(f'lead changes per 100 bars: {100 * changes / bars:.1f} '
          f'(straight back: {100 * backs / bars:.1f})')
    print(f'songs led by one group throughout: {single}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
