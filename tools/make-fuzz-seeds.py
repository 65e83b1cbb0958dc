#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Writes the seed corpora of the fuzz targets from the streams of tests/data.

fuzz/seeds/fuzz_decode_frame/  raw data blocks in that target's input format:
    one flags byte (bit 0: 24-bit output, bits 1-4: sampling index, 0x20: host
    program configuration records follow, 0x40: SBR hand-off mode), then per
    block a control byte (bit 0: lost, bit 1: frame-length check on,
    bits 2-7: frame_bytes, bit 7 also: new config_id), a 2-byte
    little-endian length and the block's bytes.
    Besides the blocks as encoded: SBR fill elements spliced in front of
    the end element (hand-off mode), in-band program configurations that
    change from one block to the next.
fuzz/seeds/fuzz_container/     whole streams cut to a few KB: ADTS prefixes
    as they are, and ADIF streams built here from the same raw data blocks
    behind an ADIF header with one program configuration element; streams
    whose format changes; copies lengthened by 1 to 3 bytes, since the
    target takes its host options (24-bit output, simulated losses) from
    the input length.

Usage: tools/make-fuzz-seeds.py [--out DIR]  (default: fuzz/seeds of the
repository).  The output is deterministic; the whole corpus stays well below
300 KB.
"""
import argparse
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "data")

MAX_SEED = 8000       # run-fuzzers.sh runs with -max_len=8192
CONTAINER_PREFIX = 4096


def adts_frames(data):
    """(sampling index, channel config, raw blocks) of each ADTS frame with
    exactly known blocks; stops at the first byte that is not a header."""
    frames = []
    pos = 0
    while pos + 7 <= len(data):
        h = data[pos:pos + 7]
        if h[0] != 0xFF or (h[1] & 0xF6) != 0xF0:
            break
        protection_absent = h[1] & 1
        sri = (h[2] >> 2) & 15
        chan = ((h[2] & 1) << 2) | (h[3] >> 6)
        length = ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5)
        nblocks = (h[6] & 3) + 1
        if length < 7 or pos + length > len(data):
            break
        frame = data[pos:pos + length]
        if nblocks == 1:
            start = 7 if protection_absent else 9
            blocks = [frame[start:]]
        elif not protection_absent:
            # raw_data_block_position words, then the header CRC; each block
            # is followed by its own CRC word.
            starts = [0] + [struct.unpack(">H", frame[7 + 2 * i:9 + 2 * i])[0]
                            for i in range(nblocks - 1)]
            base = 7 + 2 * (nblocks - 1) + 2
            ends = starts[1:] + [length - base]
            blocks = [frame[base + s:base + e - 2] for s, e in zip(starts, ends)]
        else:
            break  # block boundaries unknown without parsing
        frames.append((sri, chan, blocks))
        pos += length
    return frames


def prog_config_record(sri, pairs):
    """An 848-byte AacdProgConfig: Low Complexity, the given front channel
    pairs with tags 0, 1, ..., element instance tag 0."""
    def element_list(n, is_cpe):
        return struct.pack("<i16i16i", n, *([is_cpe] * n + [0] * (16 - n)),
                           *(list(range(n)) + [0] * (16 - n)))
    rec = struct.pack("<ii", 1, sri) + element_list(pairs, 1) + element_list(0, 0) * 5
    rec += b"\0" * (3 * 12) + b"\0" * 8 + struct.pack("<i", 0)
    assert len(rec) == 848
    return rec


def decode_frame_seed(sri, blocks, flags_extra=0, ctl_of=lambda i: 0, records=b""):
    out = bytearray([(sri << 1) | flags_extra]) + records
    for i, b in enumerate(blocks):
        if len(out) + 3 + len(b) > MAX_SEED:
            break
        out += bytes([ctl_of(i)]) + struct.pack("<H", len(b)) + b
    return bytes(out)


class Bits:
    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, v, n):
        self.value = (self.value << n) | (v & ((1 << n) - 1))
        self.count += n

    def align(self):
        self.put(0, (8 - self.count % 8) % 8)

    def bytes(self):
        self.align()
        return self.value.to_bytes(self.count // 8, "big")


def fill_element(b, count, ext_type, nibble, payload=b""):
    """A fill element of count bytes whose extension payload starts with
    ext_type and nibble (13, 14: SBR data), then payload bytes (zeros up to
    the count)."""
    b.put(6, 3)
    if count >= 15:  # count = 15 + esc_count - 1
        b.put(15, 4)
        b.put(count - 14, 8)
    else:
        b.put(count, 4)
    if count == 0:
        return
    b.put(ext_type, 4)
    b.put(nibble, 4)
    body = (payload + bytes(count))[:count - 1]
    for byte in body:
        b.put(byte, 8)


def splice_before_end(block, fills):
    """The block with fill elements inserted in front of its end element.
    An encoded block ends with the end element (three set bits) and zero
    padding, so the end element ends at the last set bit.  fills: list of
    (count, type, nibble).  None when the block does not end that way."""
    n = int.from_bytes(block, "big")
    if n == 0:
        return None
    tz = (n & -n).bit_length() - 1
    if (n >> tz) & 7 != 7:
        return None
    b = Bits()
    b.value = n >> (tz + 3)
    b.count = 8 * len(block) - tz - 3
    for i, (count, ext_type, nibble) in enumerate(fills):
        fill_element(b, count, ext_type, nibble, bytes(range(i * 16 + 1, i * 16 + 1 + count)))
    b.put(7, 3)
    return b.bytes()


def adif_stream(sri, chan, blocks):
    """An ADIF header with one program configuration for the ADTS channel
    configuration (1: one single channel, 2: one pair), then the blocks."""
    b = Bits()
    for c in b"ADIF":
        b.put(c, 8)
    b.put(0, 1)        # copyright_id_present
    b.put(0, 1)        # original_copy
    b.put(0, 1)        # home
    b.put(1, 1)        # bitstream_type: variable rate
    b.put(128000, 23)  # bitrate
    b.put(0, 4)        # num_program_config_elements - 1
    # program_config_element()
    b.put(0, 4)        # element_instance_tag
    b.put(1, 2)        # object_type: LC
    b.put(sri, 4)
    b.put(1, 4)        # one front element
    b.put(0, 4)
    b.put(0, 4)
    b.put(0, 2)
    b.put(0, 3)
    b.put(0, 4)
    b.put(0, 3)        # no mixdowns
    b.put(1 if chan == 2 else 0, 1)
    b.put(0, 4)        # tag_select
    b.align()
    b.put(0, 8)        # comment_field_bytes
    out = bytearray(b.bytes())
    for blk in blocks:
        if len(out) + len(blk) > CONTAINER_PREFIX:
            break
        out += blk
    return bytes(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=os.path.join(ROOT, "fuzz", "seeds"))
    args = ap.parse_args()

    frame_dir = os.path.join(args.out, "fuzz_decode_frame")
    cont_dir = os.path.join(args.out, "fuzz_container")
    # Seeds made otherwise (MP4 and LATM files of the container target) stay.
    for d in (frame_dir, cont_dir):
        os.makedirs(d, exist_ok=True)

    # Streams chosen for their tools: long/short windows and TNS, M/S,
    # intensity, noise substitution, multichannel with LFE, in-band program
    # configuration, low and high sampling rates.
    streams = ["r44100_stereo_sweep.aac", "r48000_stereo_clicks.aac", "ms_forced.aac",
               "is_stereo.aac", "pns_stereo.aac", "pns_mono.aac", "ch51_multi.aac",
               "pce_stereo.aac", "r8000_mono_tone.aac", "r96000_stereo_sweep.aac",
               "r11025_stereo_clicks.aac"]
    total = 0
    for name in streams:
        with open(os.path.join(DATA, name), "rb") as f:
            data = f.read()
        frames = adts_frames(data)
        if not frames:
            print(f"{name}: no ADTS frames", file=sys.stderr)
            continue
        sri, chan = frames[0][0], frames[0][1]
        blocks = [b for fr in frames for b in fr[2]]
        stem = os.path.splitext(name)[0]
        seeds = {
            f"{frame_dir}/{stem}": decode_frame_seed(sri, blocks),
        }
        if name == "r44100_stereo_sweep.aac":
            # 24-bit output, a lost block, the length check on
            seeds[f"{frame_dir}/{stem}_24bit_lost"] = decode_frame_seed(
                sri, blocks, 1, lambda i: 1 if i == 3 else 0)
            # host program configuration records (two, flags 0x20 | 0x80)
            seeds[f"{frame_dir}/{stem}_records"] = decode_frame_seed(
                sri, blocks[:6], 0xA0, records=prog_config_record(sri, 1) * 2)
            seeds[f"{frame_dir}/{stem}_lencheck"] = decode_frame_seed(
                sri, blocks[:8], 0, lambda i: 2 | (min(len(blocks[i]), 63) << 2))
        if name == "pns_stereo.aac":
            seeds[f"{frame_dir}/{stem}_sbr"] = decode_frame_seed(sri, blocks[:6], 0x40)
        if name in ("r44100_stereo_sweep.aac", "ch51_multi.aac", "pns_mono.aac"):
            # SBR hand-off mode with SBR data behind the last channel
            # element: one payload, two (with CRC), three (one too many),
            # an escaped count, an SBR payload after a plain fill element.
            fills = [[(6, 13, 0xA)], [(5, 13, 0x3), (9, 14, 0x5)],
                     [(4, 13, 0x1), (4, 14, 0x2), (4, 13, 0x3)], [(40, 14, 0xC)],
                     [(2, 1, 0), (7, 13, 0x6)]]
            spliced = [splice_before_end(blk, fills[i % len(fills)]) or blk
                       for i, blk in enumerate(blocks[:10])]
            seeds[f"{frame_dir}/{stem}_sbr_fill"] = decode_frame_seed(
                sri, spliced, 0x40, lambda i: 1 if i == 6 else 0)
        seeds[f"{cont_dir}/{stem}"] = data[:CONTAINER_PREFIX]
        if name in ("r44100_stereo_sweep.aac", "ch51_multi.aac", "pce_stereo.aac"):
            # Host options by length: 24-bit output, losses, both.
            for extra, label in ((1, "24bit"), (2, "lossy"), (3, "24bit_lossy")):
                pad = (extra - len(data[:CONTAINER_PREFIX])) % 4
                seeds[f"{cont_dir}/{stem}_{label}"] = data[:CONTAINER_PREFIX] + bytes(pad)
        if chan in (1, 2):
            seeds[f"{cont_dir}/{stem}_adif"] = adif_stream(sri, chan, blocks)
        for path, content in seeds.items():
            with open(path, "wb") as f:
                f.write(content)
            total += len(content)
    # In-band program configurations that change between blocks: stereo at
    # 44.1 kHz, then quad at 48 kHz, then stereo again.
    pce = {}
    for name in ("pce_stereo.aac", "pce_quad.aac"):
        with open(os.path.join(DATA, name), "rb") as f:
            pce[name] = [b for fr in adts_frames(f.read()) for b in fr[2]]
    mixed = pce["pce_stereo.aac"][:3] + pce["pce_quad.aac"][:3] + pce["pce_stereo.aac"][3:6]
    seeds = {f"{frame_dir}/pce_changes": decode_frame_seed(4, mixed, 0, lambda i: 0x80 if i in (3, 6) else 0)}
    # Streams whose format changes (a host following every header).
    for name in ("change_mono_stereo.aac", "change_48k_stereo_44k_51.aac", "change_16k_44k_16k.aac"):
        with open(os.path.join(DATA, name), "rb") as f:
            seeds[f"{cont_dir}/{os.path.splitext(name)[0]}"] = f.read()[:MAX_SEED]
    for path, content in seeds.items():
        with open(path, "wb") as f:
            f.write(content)
        total += len(content)
    print(f"wrote {total} bytes of seeds to {args.out}")
    if total > 300 * 1024:
        print("seed corpus above 300 KB", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
