#!/usr/bin/python3
"""Stages the files the page packs: data.dat and its sum, the library's settings, and only the
freepats instruments the game's tracks play, with a DIGMID index of just those.
Usage: stage-data.py MEDIA_DIR OUT_DIR"""
import pathlib
import shutil
import sys

DRUM_CHANNEL = 9


def fnv1a(data):
    h = 14695981039346656037
    for byte in data:
        h = ((h ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


def instruments_played(midi):
    """The programs (numbered from 1, as DIGMID does) and drum notes a standard MIDI file plays."""
    programs, drums = set(), set()
    pos = 14
    while pos + 8 <= len(midi):
        length = int.from_bytes(midi[pos + 4:pos + 8], 'big')
        track, pos = midi[pos + 8:pos + 8 + length], pos + 8 + length
        channel_program = [0] * 16
        i, status = 0, 0
        while i < len(track):
            while track[i] & 0x80:  # the delta time
                i += 1
            i += 1
            if track[i] & 0x80:
                status, i = track[i], i + 1
            if status == 0xFF:
                i += 1
            if status in (0xF0, 0xF7, 0xFF):
                size = 0
                while True:
                    size, i = (size << 7) | (track[i] & 0x7F), i + 1
                    if not track[i - 1] & 0x80:
                        break
                i += size
                continue
            kind, channel = status & 0xF0, status & 0x0F
            if kind == 0xC0:
                channel_program[channel] = track[i]
            elif kind == 0x90 and track[i + 1] > 0:
                if channel == DRUM_CHANNEL:
                    drums.add(track[i])
                else:
                    programs.add(channel_program[channel] + 1)
            i += 1 if kind in (0xC0, 0xD0) else 2
    return programs, drums


def main(media, out):
    media, out = pathlib.Path(media), pathlib.Path(out)
    shutil.rmtree(out, ignore_errors=True)
    (out / 'patches').mkdir(parents=True)
    data = (media / 'data.dat').read_bytes()
    (out / 'data.dat').write_bytes(data)
    (out / 'data.dat.sum').write_text('%d %x\n' % (len(data), fnv1a(data)))
    (out / 'allegro.cfg').write_text('[sound]\nmidi_card = DIGI\npatches = /game/patches/default.cfg\n')
    programs, drums = set(), set()
    tracks = sorted((media / 'music').glob('*.mid'))
    if not tracks:
        sys.exit('stage-data.py: no tracks in %s' % (media / 'music'))
    for track in tracks:
        p, d = instruments_played(track.read_bytes())
        programs |= p
        drums |= d
    index, in_drums = [], False
    for line in (media / 'patches' / 'default.cfg').read_text().splitlines():
        words = line.split()
        if len(words) == 2 and words[1] == 'begin_multipatch':
            in_drums = True
        elif words == ['end_multipatch']:
            in_drums = False
        elif len(words) == 2 and words[0].isdigit():
            if int(words[0]) not in (drums if in_drums else programs):
                continue
            source = media / 'patches' / (words[1] + '.pat')
            (out / 'patches' / source.parent.name).mkdir(exist_ok=True)
            shutil.copyfile(source, out / 'patches' / source.parent.name / source.name)
        index.append(line)
    (out / 'patches' / 'default.cfg').write_text('\n'.join(index) + '\n')


if __name__ == '__main__':
    main(*sys.argv[1:3])
