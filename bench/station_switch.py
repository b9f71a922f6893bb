#!/usr/bin/env python3
"""Recordings whose station changes, made from the shared recordings of one day, and their
conversion checked file by file. Not run by the tests.

  bench/station_switch.py OUTDIR [--tolvar build/release/tolvar] [-v 3.04]

Writes into OUTDIR:
  SWJM_2018_05_10.rtcm3  JNBA_2018_05_10 then MIXD_2018_05_10 (station 54, then 0)
  SWMT_2018_05_11.rtcm3  MSMS_2018_05_11 then TRMB_2018_05_11 (station 0, then 349)
  SWHM_2018_05_10.rtcm3  MIXD_2018_05_10 (legacy and MSM7 in every epoch) whose first half
                         is sent as station 175: a change without a gap (station IDs
                         re-encoded, CRC computed anew)
With --tolvar each is converted into OUTDIR/<name>/, and each observation file written is
listed (first and last epoch, station, receiver, antenna) and compared alone with the
reference of its source recording (../shared/tools/rnxcmp.py obs --skip S --const-frac R).
"""
import argparse
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHARED = os.environ.get('SHARED', os.path.join(ROOT, '..', 'shared'))


def crc24q(data):
    crc = 0
    for b in data:
        crc ^= b << 16
        for _ in range(8):
            crc <<= 1
            if crc & 0x1000000:
                crc ^= 0x1864CFB
    return crc & 0xFFFFFF


def frames(data):
    """(start, end) of each checked frame of a byte stream."""
    i, out = 0, []
    while i + 6 <= len(data):
        if data[i] == 0xD3 and data[i + 1] & 0xFC == 0:
            n = ((data[i + 1] << 8) | data[i + 2]) & 0x3FF
            end = i + 6 + n
            if end <= len(data) and crc24q(data[i:i + 3 + n]) == int.from_bytes(data[end - 3:end], 'big'):
                out.append((i, end))
                i = end
                continue
        i += 1
    return out


def bits(payload, pos, count):
    v = 0
    for k in range(pos, pos + count):
        v = (v << 1) | ((payload[k // 8] >> (7 - k % 8)) & 1)
    return v


def with_station(frame, station):
    """The frame with the 12-bit station ID after the message number replaced."""
    p = bytearray(frame[3:-3])
    v = (bits(p, 0, 24) & ~0xFFF) | station
    p[0:3] = v.to_bytes(3, 'big')
    head = frame[:3]
    return head + bytes(p) + crc24q(head + bytes(p)).to_bytes(3, 'big')


def read(name):
    with open(os.path.join(SHARED, 'data', 'rtcm', name + '.rtcm3'), 'rb') as f:
        return f.read()


def halves(data):
    """MIXD with the first half of its epochs (every message) sent as station 175."""
    fs = [data[a:b] for a, b in frames(data)]
    tows = sorted({bits(f[3:], 24, 30) for f in fs if bits(f[3:], 0, 12) in (1004, 1077)})
    split = tows[len(tows) // 2]
    out, first = bytearray(), True
    for f in fs:
        number = bits(f[3:], 0, 12)
        if number in (1004, 1077):
            first = bits(f[3:], 24, 30) < split
        out += with_station(f, 175) if first and number <= 1230 else f
    return bytes(out)


STREAMS = {
    'SWJM_2018_05_10': (lambda: read('JNBA_2018_05_10') + read('MIXD_2018_05_10'),
                        ['JNBA_2018_05_10', 'MIXD_2018_05_10']),
    'SWMT_2018_05_11': (lambda: read('MSMS_2018_05_11') + read('TRMB_2018_05_11'),
                        ['MSMS_2018_05_11', 'TRMB_2018_05_11']),
    'SWHM_2018_05_10': (lambda: halves(read('MIXD_2018_05_10')),
                        ['MIXD_2018_05_10', 'MIXD_2018_05_10']),
}


def header(path):
    items = {}
    with open(path) as f:
        for line in f:
            label = line[60:].strip()
            items.setdefault(label, line[:60])
            if label == 'END OF HEADER':
                break
    epochs = []
    with open(path) as f:
        epochs = [line[2:29] for line in f if line.startswith('>')]
    rec = items.get('REC # / TYPE / VERS', '')
    return {
        'first': epochs[0] if epochs else '', 'last': epochs[-1] if epochs else '',
        'epochs': len(epochs), 'station': rec[:20].strip().split('/')[1] if '/' in rec else '',
        'receiver': rec[20:40].strip(), 'antenna': items.get('ANT # / TYPE', '')[20:40].strip(),
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('outdir')
    ap.add_argument('--tolvar')
    ap.add_argument('-v', dest='version', default='3.04')
    a = ap.parse_args()
    os.makedirs(a.outdir, exist_ok=True)
    failed = 0
    for name, (make, sources) in STREAMS.items():
        path = os.path.join(a.outdir, name + '.rtcm3')
        with open(path, 'wb') as f:
            f.write(make())
        if not a.tolvar:
            continue
        out = os.path.join(a.outdir, name)
        os.makedirs(out, exist_ok=True)
        subprocess.run([a.tolvar, path, '-o=' + out, '-v=' + a.version, '--nonav'], check=True,
                       stdout=subprocess.DEVNULL)
        files = sorted(f for f in os.listdir(out) if f.endswith('o'))
        print('%s: %d observation file(s)' % (name, len(files)))
        for f, source in zip(files, sources):
            h = header(os.path.join(out, f))
            cmp = subprocess.run([sys.executable, os.path.join(SHARED, 'tools', 'rnxcmp.py'), 'obs',
                                  os.path.join(out, f),
                                  os.path.join(SHARED, 'data', 'reference', source + '.obs'),
                                  '--skip', 'S', '--const-frac', 'R'],
                                 capture_output=True, text=True)
            # Totals of the table (type, matched, differ, missing, extra): a file holds only
            # its part of the source's epochs (missing values are the other parts'), and
            # extra values are those the reference lacks (as in a conversion of the source).
            rows = [l.split() for l in cmp.stdout.splitlines()]
            rows = [r for r in rows if len(r) == 6 and r[2].isdigit()]
            matched, differ, extra = (sum(int(r[k]) for r in rows) for k in (2, 3, 5))
            common = next((l for l in cmp.stdout.splitlines() if l.startswith('epochs:')), '')
            failed += differ > 0
            print('  %-24s %s .. %s %4d epochs  station %-4s receiver %-16r antenna %-22r'
                  % (f, h['first'], h['last'], h['epochs'], h['station'], h['receiver'],
                     h['antenna']))
            print('  %-24s vs %s (%s): %d values matched, %d differ, %d extra'
                  % ('', source, common, matched, differ, extra))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
