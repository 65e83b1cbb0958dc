#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the streams of tests/data.

fuzz/seeds/fuzz_decode_frame/  raw data blocks in that target's input format:
    one flags byte (bit 0: 24-bit output, bits 1-4: sampling index, 0x20: host
    program configuration records follow, 0x40: SBR hand-off mode), then per
    block a control byte (bit 0: lost, bit 1: frame-length check on,
    bits 2-7: frame_bytes, bit 7 also: new config_id), a 2-byte
    little-endian length and the block's bytes.
fuzz/seeds/fuzz_container/     whole streams cut to a few KB: ADTS prefixes
    as they are, and ADIF streams built here from the same raw data blocks
    behind an ADIF header with one program configuration element.

Usage: tools/make-fuzz-seeds.py [--out DIR]  (default: fuzz/seeds of the
repository).  The output is deterministic; the whole corpus stays well below
200 KB.
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
    for d in (frame_dir, cont_dir):
        os.makedirs(d, exist_ok=True)
        for f in os.listdir(d):
            os.remove(os.path.join(d, f))

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
        seeds[f"{cont_dir}/{stem}"] = data[:CONTAINER_PREFIX]
        if chan in (1, 2):
            seeds[f"{cont_dir}/{stem}_adif"] = adif_stream(sri, chan, blocks)
        for path, content in seeds.items():
            with open(path, "wb") as f:
                f.write(content)
            total += len(content)
    print(f"wrote {total} bytes of seeds to {args.out}")
    if total > 200 * 1024:
        print("seed corpus above 200 KB", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
