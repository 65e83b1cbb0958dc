#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Real pipelines with aacddec, compared bit for bit with aacd-decode.

    gst_pipelines.py AACD_DECODE DATA_DIR WORK_DIR

GST_PLUGIN_PATH must point at the build's gst/ folder.  Each check runs
gst-launch-1.0 with a filesink of the raw output, reads the output caps from
its -v log, and compares the samples with aacd-decode's WAV of the same
audio.  Exit status 0 when every check passes.
"""
import os
import re
import struct
import subprocess
import sys

DECODE, DATA, WORK = sys.argv[1:4]
failures = []


def gst(pipeline, out):
    """Runs a pipeline ending in a filesink to `out`; returns (bytes, caps)."""
    cmd = ["gst-launch-1.0", "-v"] + pipeline.split() + ["!", "filesink", "location=" + out]
    log = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
    if log.returncode != 0:
        raise RuntimeError("%s\n%s%s" % (" ".join(cmd), log.stdout, log.stderr))
    caps = re.findall(r"aacddec0\.GstPad:src: caps = (.*)", log.stdout)
    with open(out, "rb") as f:
        return f.read(), caps[-1] if caps else "", log.stdout


def decode(stream, bits):
    """aacd-decode's samples of a stream as (list of ints, channel mask)."""
    out = os.path.join(WORK, "gst_ref.wav")
    subprocess.run([DECODE, "-q", "--bits", str(bits), os.path.join(DATA, stream), out], check=True)
    with open(out, "rb") as f:
        wav = f.read()
    fmt = wav.index(b"fmt ")
    channels = struct.unpack_from("<H", wav, fmt + 10)[0]
    mask = struct.unpack_from("<I", wav, fmt + 28)[0] if struct.unpack_from("<H", wav, fmt + 8)[0] == 0xFFFE else 0
    data = wav[wav.index(b"data") + 8:]
    if bits == 16:
        samples = list(struct.unpack("<%dh" % (len(data) // 2), data))
    else:
        samples = [int.from_bytes(data[i:i + 3], "little", signed=True) for i in range(0, len(data), 3)]
    return samples, channels, mask


def unpack(raw, fmt):
    return list(struct.unpack("<%d%s" % (len(raw) // (2 if fmt == "S16LE" else 4), "h" if fmt == "S16LE" else "i"),
                              raw))


def check(name, ok, detail=""):
    print("%s: %s %s" % ("ok" if ok else "FAILED", name, detail))
    if not ok:
        failures.append(name)


# Streams through aacparse: output equal to aacd-decode's, with the mask.
#   name, source pipeline, stream for aacd-decode, format, GStreamer mask
CASES = [
    ("ADTS 5.1", "filesrc location=%s/ch51_multi.aac ! aacparse ! aacddec", "ch51_multi.aac", "S16LE", 0x3f),
    ("ADTS 5.1, 24-bit", "filesrc location=%s/ch51_multi.aac ! aacparse ! aacddec ! audio/x-raw,format=S24_32LE",
     "ch51_multi.aac", "S24_32LE", 0x3f),
    ("LATM 5.1", "filesrc location=%s/ch51_multi.latm ! aacparse ! aacddec", "ch51_multi.aac", "S16LE", 0x3f),
    ("ADTS 4.0 (rear centre)", "filesrc location=%s/ch40_multi.aac ! aacparse ! aacddec", "ch40_multi.aac",
     "S16LE", 0x107),
    ("ADTS stereo", "filesrc location=%s/sample.aac ! aacparse ! aacddec", "sample.aac", "S16LE", 0x3),
]
for name, pipeline, stream, fmt, mask in CASES:
    try:
        raw, caps, _ = gst(pipeline % DATA, os.path.join(WORK, "gst_out.raw"))
        want, channels, _ = decode(stream, 16 if fmt == "S16LE" else 24)
        got_mask = re.search(r"channel-mask=\(bitmask\)(0x[0-9a-f]+)", caps)
        check(name, unpack(raw, fmt) == want and "format=(string)%s" % fmt in caps and
              "channels=(int)%d" % channels in caps and got_mask is not None and int(got_mask.group(1), 16) == mask,
              caps)
    except (RuntimeError, subprocess.SubprocessError, ValueError) as e:
        check(name, False, str(e))

# MP4 through qtdemux: the edit list's priming is clipped by the decoder base
# class.  qtdemux's segment starts 1 ns short of the 1024 priming samples, so
# one priming sample is kept; and qtdemux (1.22) does not push the file's last
# access unit, so the output ends up to one frame short of the 13230 samples
# of the original.  What comes out must be exactly the decoding of the same
# encode (its ADTS twin) from there.
try:
    raw, caps, _ = gst("filesrc location=%s/gapless.m4a ! qtdemux ! aacparse ! aacddec" % DATA,
                       os.path.join(WORK, "gst_out.raw"))
    want, _, _ = decode("gapless.aac", 16)
    got = unpack(raw, "S16LE")
    n = len(got) // 2
    check("MP4 through qtdemux", got == want[2 * 1023:2 * 1023 + len(got)] and 13230 - 1024 <= n <= 13231 and
          "channel-mask=(bitmask)0x0000000000000003" in caps, "%d samples, %s" % (n, caps))
except (RuntimeError, subprocess.SubprocessError, ValueError) as e:
    check("MP4 through qtdemux", False, str(e))

# decodebin and playbin choose aacddec for Low Complexity AAC.
for name, cmd in [
    ("decodebin picks aacddec", ["gst-launch-1.0", "-v", "filesrc", "location=%s/gapless.m4a" % DATA, "!", "decodebin",
                                 "!", "fakesink"]),
    ("playbin picks aacddec", ["gst-launch-1.0", "-v", "playbin", "uri=file://%s/ch51_multi.aac" % os.path.abspath(DATA),
                               "audio-sink=fakesink", "video-sink=fakesink"]),
]:
    log = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
    check(name, log.returncode == 0 and "GstAacdDec" in log.stdout)

sys.exit(1 if failures else 0)
