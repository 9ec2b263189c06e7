#!/usr/bin/python3
"""Stages the files the page packs: data.dat and its sum, the library's settings, and only the
freepats instruments the game's tracks play, with a DIGMID index of just those. Of each instrument
only the samples DIGMID picks for the notes played are kept, so the tracks sound as on the desktop.
Usage: stage-data.py MEDIA_DIR OUT_DIR"""
import collections
import pathlib
import shutil
import struct
import sys

DRUM_CHANNEL = 9
# DIGMID plays every drum at this key.
DRUM_KEY = 60
# DIGMID reads no more samples of a patch than this, and sounds at most this many for one note.
MAX_LAYERS, MAX_SOUNDED = 64, 5
# A GUS patch: the waveform count and the sample count in the headers, the samples after them.
WAVEFORMS_AT, SAMPLES_AT, HEADERS = 85, 198, 239
SAMPLE_HEADER = 96


def digmid_keys():
    """DIGMID's key frequencies in millihertz, worked out in single precision down from A 14080 Hz."""
    keys, f = [0] * 130, 14080000.0
    keys[129] = int(f)
    for i in range(128, -1, -1):
        f = struct.unpack('f', struct.pack('f', f / 2 ** (1 / 12)))[0]
        keys[i] = int(f)
    return keys


def fnv1a(data):
    h = 14695981039346656037
    for byte in data:
        h = ((h ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


def instruments_played(midi):
    """The keys each program plays (numbered from 1, as DIGMID does) and the drum notes of a
    standard MIDI file. A channel that bends its pitch may sound any key."""
    programs, drums = collections.defaultdict(set), set()
    pos = 14
    while pos + 8 <= len(midi):
        length = int.from_bytes(midi[pos + 4:pos + 8], 'big')
        track, pos = midi[pos + 8:pos + 8 + length], pos + 8 + length
        channel_program, bent = [0] * 16, [False] * 16
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
            elif kind == 0xE0:
                bent[channel] = True
            elif kind == 0x90 and track[i + 1] > 0:
                if channel == DRUM_CHANNEL:
                    drums.add(track[i])
                else:
                    programs[channel_program[channel] + 1] |= set(range(128)) if bent[channel] else {track[i]}
            i += 1 if kind in (0xC0, 0xD0) else 2
    return programs, drums


def trimmed_patch(patch, keys):
    """The patch with only the samples DIGMID sounds for these keys: for each, up to five whose
    range holds the key, else the first of those nearest to it."""
    samples, picked, pos = [], set(), HEADERS
    for _ in range(min(patch[SAMPLES_AT], MAX_LAYERS)):
        length, low, high = struct.unpack_from('<I10xII', patch, pos + 8)
        samples.append((low, high, patch[pos:pos + SAMPLE_HEADER + length]))
        pos += SAMPLE_HEADER + length
    table = digmid_keys()
    for key in keys:
        f = table[key]
        holding = [i for i, (low, high, _) in enumerate(samples) if low <= f <= high][:MAX_SOUNDED]
        distance = [min(abs(f - low), abs(f - high)) for low, high, _ in samples]
        picked |= set(holding) or {distance.index(min(distance))}
    kept = [samples[i][2] for i in sorted(picked)]
    header = bytearray(patch[:HEADERS])
    struct.pack_into('<H', header, WAVEFORMS_AT, len(kept))
    header[SAMPLES_AT] = len(kept)
    return bytes(header) + b''.join(kept)


def main(media, out):
    media, out = pathlib.Path(media), pathlib.Path(out)
    shutil.rmtree(out, ignore_errors=True)
    (out / 'patches').mkdir(parents=True)
    data = (media / 'data.dat').read_bytes()
    (out / 'data.dat').write_bytes(data)
    (out / 'data.dat.sum').write_text('%d %x\n' % (len(data), fnv1a(data)))
    (out / 'allegro.cfg').write_text('[sound]\nmidi_card = DIGI\npatches = /game/patches/default.cfg\n')
    programs, drums = collections.defaultdict(set), set()
    tracks = sorted((media / 'music').glob('*.mid'))
    if not tracks:
        sys.exit('stage-data.py: no tracks in %s' % (media / 'music'))
    for track in tracks:
        p, d = instruments_played(track.read_bytes())
        for program, keys in p.items():
            programs[program] |= keys
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
            keys = {DRUM_KEY} if in_drums else programs[int(words[0])]
            (out / 'patches' / source.parent.name / source.name).write_bytes(
                trimmed_patch(source.read_bytes(), keys))
        index.append(line)
    (out / 'patches' / 'default.cfg').write_text('\n'.join(index) + '\n')


if __name__ == '__main__':
    main(*sys.argv[1:3])
