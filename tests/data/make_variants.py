#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Rewraps encoder-made test files into the container variants the encoder
never writes, holding the same raw data blocks (so the same reference
decoding applies):

  gapless_co64.m4a   gapless.m4a with its index in front, a stz2 (16-bit)
                     sample-size table, co64 chunk offsets, two sample-to-chunk
                     runs (3 then 4 samples a chunk), an edit list of 1000 ms
                     (longer than the media: the media bounds it) and an
                     iTunSMPB tag that contradicts it (the edit list wins)
  gapless_smpb.m4a   index after the media, 5 samples a chunk (the last one
                     short), no edit list: only the iTunSMPB tag tells the
                     delay (1024) and padding (82)
  gapless_299ms.m4a  an edit list of 299 ms: 13185.9 samples, rounded to 13186
  not_aac.m4a        two of the blocks in a track whose decoder configuration
                     names MP3 (object type 0x6B)
  gapless_cut.m4a    gapless_co64.m4a without the tag, cut 300 bytes short
  pce_quad_v1.latm   the blocks of pce_quad.latm in LATM version 1: two blocks
                     an element (one in the last), the configuration in every
                     third element with its AudioSpecificConfig length padded
                     by 5 fill bits, 16 bits of other data, a CRC byte

    python3 tests/data/make_variants.py   (run by make_streams.sh)
"""
import os
import struct

os.chdir(os.path.dirname(os.path.abspath(__file__)))


def find(data, path):
    """The body of the box at path ('moov/trak/tkhd') in data."""
    for part in path.split('/'):
        at, found = 0, {}
        while at + 8 <= len(data):
            size, kind = struct.unpack('>I4s', data[at:at + 8])
            found[kind.decode()] = data[at + 8:at + size]
            at += size
        data = found[part]
    return data


def box(kind, *parts):
    body = b''.join(parts)
    return struct.pack('>I', len(body) + 8) + kind.encode() + body


def u32(*v):
    return struct.pack('>%dI' % len(v), *v)


def smpb(delay, padding, length):
    text = ' 00000000 %08X %08X %016X 00000000' % (delay, padding, length)
    tag = box('----', box('mean', u32(0), b'com.apple.iTunes'), box('name', u32(0), b'iTunSMPB'),
              box('data', u32(1, 0), text.encode()))
    return box('udta', box('meta', u32(0), box('ilst', tag)))


def mp4(src, name, index_first, runs, edit_ms=None, tag=b'', co64=False, stz2=False, oti=0x40, count=None, cut=0):
    """Writes the samples of src into a new file; runs: (first chunk, samples
    a chunk) pairs of the sample-to-chunk table."""
    moov = find(src, 'moov')
    stbl = find(moov, 'trak/mdia/minf/stbl')
    stsz = find(stbl, 'stsz')
    n = struct.unpack('>I', stsz[8:12])[0]
    (at,) = struct.unpack('>I', find(stbl, 'stco')[8:12])  # one chunk
    blocks = []
    for size in struct.unpack('>%dI' % n, stsz[12:12 + 4 * n])[:count or n]:
        blocks.append(src[at:at + size])
        at += size
    n = len(blocks)
    chunks = []  # samples of each chunk
    while sum(chunks) < n:
        chunks.append(min(n - sum(chunks), [per for first, per in runs if first <= len(chunks) + 1][-1]))
    stsd = bytearray(find(stbl, 'stsd'))
    stsd[stsd.index(b'\x04\x80\x80\x80', stsd.index(b'esds')) + 5] = oti  # DecoderConfigDescriptor
    mdhd = find(moov, 'trak/mdia/mdhd')
    edts = b'' if edit_ms is None else box('edts', box('elst', u32(0, 1, edit_ms, 1024, 0x10000)))
    sizes = [len(b) for b in blocks]

    def index(data_at):
        offsets = [data_at + sum(sizes[:sum(chunks[:c])]) for c in range(len(chunks))]
        size_table = (box('stz2', u32(0, 16, n), struct.pack('>%dH' % n, *sizes)) if stz2 else
                      box('stsz', u32(0, 0, n, *sizes)))
        chunk_table = (box('co64', u32(0, len(offsets)), struct.pack('>%dQ' % len(offsets), *offsets)) if co64
                       else box('stco', u32(0, len(offsets), *offsets)))
        table = box('stbl', box('stsd', bytes(stsd)), box('stts', u32(0, 1, n, 1024)),
                    box('stsc', u32(0, len(runs)), *(u32(first, per, 1) for first, per in runs)),
                    size_table, chunk_table)
        minf = box('minf', box('smhd', find(moov, 'trak/mdia/minf/smhd')), table)
        mdia = box('mdia', box('mdhd', mdhd), box('hdlr', find(moov, 'trak/mdia/hdlr')), minf)
        trak = box('trak', box('tkhd', find(moov, 'trak/tkhd')), edts, mdia)
        return box('moov', box('mvhd', find(moov, 'mvhd')), trak, tag)

    ftyp, mdat = box('ftyp', find(src, 'ftyp')), box('mdat', *blocks)
    if index_first:
        out = ftyp + index(len(ftyp) + len(index(0)) + 8) + mdat
    else:
        out = ftyp + mdat + index(len(ftyp) + 8)
    with open(name, 'wb') as f:
        f.write(out[:len(out) - cut])


class Bits:
    """A big-endian bit string, read from bytes or written field by field."""

    def __init__(self, data=b'', pos=0):
        self.value, self.count, self.pos = int.from_bytes(data, 'big'), 8 * len(data), pos

    def get(self, n):
        self.pos += n  # past the end: zeros
        shift = self.count - self.pos
        return (self.value >> shift if shift >= 0 else self.value << -shift) & ((1 << n) - 1)

    def put(self, *fields):  # (value, bits) pairs
        for v, n in fields:
            self.value, self.count = self.value << n | v, self.count + n
        return self

    def bytes(self):
        pad = -self.count % 8
        return (self.value << pad).to_bytes((self.count + pad) // 8, 'big')


def payload(b):
    """PayloadLengthInfo and PayloadMux of one block (b is left after it)."""
    size, last = 0, 255
    while last == 255:
        last = b.get(8)
        size += last
    return bytes(b.get(8) for _ in range(size))


def latm_v0(data):
    """The AudioSpecificConfig ((value, bits)) and the raw data blocks of a
    version 0 LOAS stream as the encoder writes it: one block an element, no
    other data, no CRC.  The configuration's length is not coded: it is the
    one after which the element parses to its end as the fixed fields and
    one payload."""
    asc, blocks, at = None, [], 0
    while at + 3 <= len(data):
        el = data[at + 3:at + 3 + ((data[at + 1] & 0x1F) << 8 | data[at + 2])]
        at += 3 + len(el)
        b = Bits(el)
        if b.get(1) == 0:
            assert b.get(15) == 0x2000  # version 0, same time framing, one subframe, program and layer
            for asc_bits in range(16, b.count - b.pos):
                t = Bits(el, b.pos + asc_bits)
                if t.get(13) != 0x3FC:  # frameLengthType 0, fullness 0xFF, no other data, no CRC
                    continue
                end = t.pos
                payload(t)
                if 0 <= t.count - t.pos < 8:
                    asc = (Bits(el, b.pos).get(asc_bits), asc_bits)
                    b.pos = end
                    break
        blocks.append(payload(b))
    return asc, blocks


def latm_v1(asc, blocks):
    """A version 1 LOAS stream of the blocks, two an element."""
    out = b''
    for i in range(0, len(blocks), 2):
        group = blocks[i:i + 2]
        config = i % 6 == 0 or len(group) == 1
        w = Bits().put((not config, 1))
        if config:  # version 1, taraBufferFullness 0x55, subframes, ascLen = its bits + 5 fill bits
            w.put((1, 1), (0, 1), (0, 2), (0x55, 8), (1, 1), (len(group) - 1, 6), (0, 4), (0, 3))
            w.put((0, 2), (asc[1] + 5, 8), asc, (0, 5))
            w.put((0, 3), (0xFF, 8), (1, 1), (0, 2), (16, 8), (1, 1), (0xA5, 8))  # other data: 16 bits; CRC
        for block in group:
            w.put(*[(255, 8)] * (len(block) // 255), (len(block) % 255, 8), *((x, 8) for x in block))
        body = w.put((0xBEEF, 16)).bytes()
        out += Bits().put((0x2B7, 11), (len(body), 13)).bytes() + body
    return out


gapless = open('gapless.m4a', 'rb').read()
mp4(gapless, 'gapless_co64.m4a', True, [(1, 3), (3, 4)], edit_ms=1000, tag=smpb(2112, 0, 12000), co64=True,
    stz2=True)
mp4(gapless, 'gapless_smpb.m4a', False, [(1, 5)], tag=smpb(1024, 82, 13230))
mp4(gapless, 'gapless_299ms.m4a', False, [(1, 14)], edit_ms=299)
mp4(gapless, 'not_aac.m4a', True, [(1, 2)], oti=0x6B, count=2)
mp4(gapless, 'gapless_cut.m4a', True, [(1, 3), (3, 4)], edit_ms=1000, co64=True, stz2=True, cut=300)
with open('pce_quad_v1.latm', 'wb') as f:
    f.write(latm_v1(*latm_v0(open('pce_quad.latm', 'rb').read())))
