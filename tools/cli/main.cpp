// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// aacd-decode - decodes an AAC Low Complexity stream (ADTS, ADIF, LATM/LOAS
// or MP4/M4A) to WAV.
//
//   aacd-decode [options] INPUT OUTPUT.wav      ("-" = stdin / stdout)
//   aacd-decode --info INPUT
//
// Uses only the public interface of the shared library (aacd.h).  The WAV
// holds exactly 1024 samples per channel for every raw data block of the
// input, aligned with the input (the decoder's one-frame delay is removed),
// less the encoder delay and padding an MP4 file declares.  A stream that
// changes its sampling rate or channels goes on in OUTPUT-2.wav, -3...
#include <signal.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "aacd.h"
#include "aacd_version.h"
#include "container.h"
#include "host_decoder.h"
#include "input.h"
#include "wav.h"

namespace {

using namespace aacd_cli;

enum Exit { kExitOk = 0, kExitInput = 1, kExitUsage = 2, kExitOutput = 3 };

void usage(std::FILE *f) {
    std::fprintf(f,
                 "usage: aacd-decode [options] INPUT OUTPUT.wav\n"
                 "       aacd-decode --info INPUT\n"
                 "Decodes an AAC Low Complexity stream to a WAV file.  INPUT may be ADTS,\n"
                 "ADIF, LATM/LOAS or an MP4/M4A file; INPUT or OUTPUT may be - for standard\n"
                 "input or output.  Streams are decoded as their bytes arrive.  An MP4 file's\n"
                 "encoder delay and padding (edit list or iTunSMPB tag) are removed.  When the\n"
                 "stream changes its sampling rate or channels, the output goes on in\n"
                 "OUTPUT-2.wav, OUTPUT-3.wav... (on standard output such a change is an error).\n"
                 "\n"
                 "options:\n"
                 "  --bits 16|24     sample size of the WAV file (default 16)\n"
                 "  --info           print the stream parameters on standard error (without\n"
                 "                   OUTPUT: only that, without decoding the stream)\n"
                 "  --lose P[,SEED]  drop each raw data block with probability P (0..1,\n"
                 "                   or a percentage such as 5%%) to hear concealment;\n"
                 "                   SEED (default 1) makes the drops reproducible\n"
                 "  -q, --quiet      no closing line and no progress line\n"
                 "  -h, --help       this text\n"
                 "  --version        program and decoder version\n"
                 "\n"
                 "exit status:\n"
                 "  0  decoded\n"
                 "  1  input refused or damaged beyond use (unreadable, not AAC, not\n"
                 "     supported, or a format change on standard output)\n"
                 "  2  usage error\n"
                 "  3  output error (cannot create or write the output)\n");
}

bool parse_lose(const char *arg, double *p, uint64_t *seed) {
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(arg, &end);
    if (end == arg || errno != 0) return false;
    if (*end == '%') {
        v /= 100.0;
        ++end;
    }
    if (!(v >= 0.0 && v <= 1.0)) return false;
    *p = v;
    if (*end == ',') {
        const char *s = end + 1;
        errno = 0;
        const unsigned long long x = std::strtoull(s, &end, 10);
        if (end == s || errno != 0 || *s == '-') return false;
        *seed = x;
    }
    return *end == '\0';
}

std::string plural(uint64_t n, const char *what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string format_text(const WavFormat &f, const ChannelLayout *l) {
    std::string t = std::to_string(f.sample_rate) + " Hz, " + plural(f.channels, "channel");
    if (l != nullptr && l->channels > 0) t += " (" + speaker_names(*l) + ")";
    return t;
}

// Blocks of a stream counted without decoding (headers only); 0 when the
// input is not a file or the format does not tell.
uint64_t count_blocks(const std::string &name, const StreamInfo &info) {
    if (info.total_blocks != 0) return info.total_blocks;
    if (info.format == StreamFormat::kAdif || name == "-") return 0;
    Input in;
    std::string err;
    Demuxer d;
    if (!in.open(name, &err) || !in.seekable() || !d.open(&in)) return 0;
    uint64_t n = 0;
    RawBlock b;
    while (d.next(&b) == Demuxer::Result::kBlock) {
        ++n;
        if (!b.bounded) d.consume(0);
    }
    return d.error().empty() ? n : 0;
}

// Samples the output holds for a number of blocks, after trimming.
uint64_t output_samples(const StreamInfo &info, uint64_t blocks) {
    const uint64_t all = blocks * 1024;
    if (!info.trimmed) return all;
    const uint64_t rest = all > info.trim_start ? all - info.trim_start : 0;
    return info.trim_length != 0 && info.trim_length < rest ? info.trim_length : rest;
}

void print_info(const std::string &name, const Demuxer &d, uint64_t blocks, const HostStats *probe,
                const ChannelLayout *layout) {
    const StreamInfo &i = d.info();
    std::fprintf(stderr, "input:          %s\n", name.c_str());
    std::fprintf(stderr, "container:      %s", format_name(i.format));
    switch (i.format) {
    case StreamFormat::kAdts:
        std::fprintf(stderr, " (MPEG-%d, %s, %s per frame)\n", i.mpeg_id ? 2 : 4, i.crc ? "CRC" : "no CRC",
                     plural(static_cast<uint64_t>(i.raw_blocks), "raw data block").c_str());
        break;
    case StreamFormat::kAdif:
        std::fprintf(stderr, " (%s, %u bit/s)\n", plural(static_cast<uint64_t>(i.num_pce), "program configuration").c_str(),
                     i.bitrate);
        break;
    case StreamFormat::kLatm: std::fprintf(stderr, " (audioMuxVersion %d)\n", i.latm_version); break;
    case StreamFormat::kMp4: std::fprintf(stderr, "%s\n", i.fragmented ? " (fragmented)" : ""); break;
    default: std::fprintf(stderr, "\n"); break;
    }
    const bool sbr = i.sbr_signalled || (probe != nullptr && probe->sbr_frames > 0);
    std::fprintf(stderr, "profile:        Low Complexity%s\n",
                 sbr ? " with SBR (HE-AAC): only the AAC core is decoded, at half the output rate" : "");
    std::fprintf(stderr, "sampling rate:  %u Hz\n", i.sampling_rate);
    if (layout != nullptr && layout->channels > 0) {
        std::fprintf(stderr, "channels:       %d (%s)\n", layout->channels, speaker_names(*layout).c_str());
    } else if (i.channels > 0) {
        std::fprintf(stderr, "channels:       %d\n", i.channels);
    } else {
        std::fprintf(stderr, "channels:       given by the stream's program configuration\n");
    }
    const uint64_t samples = i.duration_samples != 0 ? i.duration_samples : output_samples(i, blocks);
    if (samples != 0 && i.sampling_rate != 0) {
        const double seconds = static_cast<double>(samples) / i.sampling_rate;
        std::fprintf(stderr, "duration:       %.3f s (%llu samples", seconds, static_cast<unsigned long long>(samples));
        if (blocks != 0) std::fprintf(stderr, ", %s", plural(blocks, "frame").c_str());
        std::fprintf(stderr, ")\n");
        uint64_t bytes = i.payload_bytes;
        if (bytes == 0) bytes = d.size(); // with the container's own bytes
        if (bytes != 0 && seconds > 0) {
            std::fprintf(stderr, "bit rate:       %.1f kbit/s (average)\n", static_cast<double>(bytes) * 8 / seconds / 1000);
        }
    } else {
        std::fprintf(stderr, "duration:       unknown (%s)\n",
                     i.format == StreamFormat::kAdif ? "ADIF blocks carry no lengths" : "not a file");
    }
    if (i.trimmed && (i.trim_start != 0 || (i.trim_length != 0 && blocks * 1024 > i.trim_start + i.trim_length))) {
        std::fprintf(stderr, "encoder delay:  %llu samples", static_cast<unsigned long long>(i.trim_start));
        if (blocks != 0 && i.trim_length != 0 && blocks * 1024 >= i.trim_start + i.trim_length) {
            std::fprintf(stderr, ", padding %llu samples",
                         static_cast<unsigned long long>(blocks * 1024 - i.trim_start - i.trim_length));
        }
        std::fprintf(stderr, " (%s), removed from the output\n", i.trim_source);
    }
    std::fprintf(stderr, "decoder:        %s\n", aacd_decode_versionInfo());
}

// Name of output file number part (1, 2, ...): OUT.wav, OUT-2.wav...
std::string part_name(const std::string &base, int part) {
    if (part <= 1) return base;
    const size_t dot = base.rfind('.');
    const size_t slash = base.rfind('/');
    const bool ext = dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = "-" + std::to_string(part);
    return ext ? base.substr(0, dot) + suffix + base.substr(dot) : base + suffix;
}

// Writes the decoded frames: trimming, the WAV files, splits at format
// changes.
struct Output {
    std::string base;
    int bits = 16;
    bool live = false;              // flush every frame (streaming input)
    uint64_t expected_bytes = UINT64_MAX;
    bool trimmed = false;
    uint64_t skip = 0, keep = UINT64_MAX; // samples
    uint64_t timeline = 0;          // samples handed in so far
    uint64_t frames = 0;
    uint64_t trimmed_samples = 0;   // dropped by the trimming
    uint64_t silent_frames = 0;     // frames without a channel before the first file
    int fd = -1;
    int part = 0;
    WavWriter wav;
    ChannelLayout layout{};
    std::vector<std::string> files;
    std::string error;              // set when writing must stop
    int exit_code = kExitOk;
    std::vector<int32_t> zeros = std::vector<int32_t>(6 * kPlaneStride, 0);

    bool open_part(const WavFormat &fmt) {
        ++part;
        const std::string name = base == "-" ? "standard output" : part_name(base, part);
        if (base == "-") {
            fd = STDOUT_FILENO;
        } else {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0) return fail("cannot create " + name + ": " + std::strerror(errno), kExitOutput);
        }
        files.push_back(name);
        if (!wav.start(fd, fmt, part == 1 ? expected_bytes : UINT64_MAX, live)) return write_failed();
        return true;
    }
    bool close_part() {
        if (fd < 0) return true;
        const bool ok = wav.finish();
        if (fd != STDOUT_FILENO && ::close(fd) != 0 && ok) {
            fd = -1;
            return fail("error writing " + files.back() + ": " + std::strerror(errno), kExitOutput);
        }
        fd = -1;
        return ok || write_failed();
    }
    bool write_failed() {
        return fail("error writing " + (files.empty() ? base : files.back()) + ": " + wav.error(), kExitOutput);
    }
    bool fail(const std::string &msg, int code) {
        if (error.empty()) {
            error = msg;
            exit_code = code;
        }
        return false;
    }
    // Part [first, first + count) of the frame that is kept after trimming.
    void kept(uint64_t *first, uint64_t *count) {
        const uint64_t t0 = timeline, t1 = timeline + 1024;
        const uint64_t k0 = trimmed ? skip : 0, k1 = trimmed && keep != UINT64_MAX ? skip + keep : UINT64_MAX;
        const uint64_t a = t0 > k0 ? t0 : k0, b = t1 < k1 ? t1 : k1;
        *first = a - t0;
        *count = b > a ? b - a : 0;
        if (b <= a) *first = 0;
    }
    bool write_frame(const OutFrame &f) {
        uint64_t first = 0, count = 0;
        kept(&first, &count);
        timeline += 1024;
        trimmed_samples += 1024 - count;
        ++frames;
        return count == 0 || wav.write(f, first, count) || write_failed();
    }
    bool frame(const OutFrame &f) {
        if (f.layout->channels == 0) {
            // No channel in this frame: silence in the layout of the file.
            if (fd < 0) {
                ++silent_frames;
                return true;
            }
            return write_frame(OutFrame{zeros.data(), &layout, wav.format().sample_rate});
        }
        WavFormat fmt;
        fmt.sample_rate = f.sample_rate;
        fmt.channels = static_cast<uint16_t>(f.layout->channels);
        fmt.bits = static_cast<uint16_t>(bits);
        fmt.channel_mask = f.layout->channel_mask;
        if (fd >= 0 && !(fmt == wav.format())) {
            const std::string change = "the stream changes from " + format_text(wav.format(), &layout) +
                                       " to " + format_text(fmt, f.layout) + " after " +
                                       plural(frames, "frame");
            if (base == "-") {
                (void)close_part();
                return fail(change + "; standard output holds one format only (decode to a file to get "
                                     "one file per format)",
                            kExitInput);
            }
            if (!close_part()) return false;
            if (!open_part(fmt)) return false;
            std::fprintf(stderr, "aacd-decode: %s: continuing in %s\n", change.c_str(), files.back().c_str());
        } else if (fd < 0) {
            if (!open_part(fmt)) return false;
        }
        layout = *f.layout;
        for (; silent_frames > 0; --silent_frames) {
            if (!write_frame(OutFrame{zeros.data(), &layout, fmt.sample_rate})) return false;
        }
        return write_frame(f);
    }
};

std::string concealed_text(const HostStats &s) {
    std::string t;
    auto add = [&t](uint64_t n, const std::string &what) {
        if (n == 0) return;
        t += (t.empty() ? "" : ", ") + std::to_string(n) + " " + what;
    };
    add(s.dropped, "dropped on purpose");
    add(s.container_lost, "lost in the container (damaged or cut short)");
    for (const auto &kv : s.statuses) {
        if (kv.first != AACD_OK) add(kv.second, status_name(kv.first));
    }
    return t;
}

} // namespace

int main(int argc, char **argv) {
    HostOptions opt;
    bool info = false;
    bool quiet = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            usage(stdout);
            return kExitOk;
        } else if (a == "--version") {
            std::printf("aacd-decode %s\n%s\n", AACD_VERSION_STRING, aacd_decode_versionInfo());
            return kExitOk;
        } else if (a == "--info") {
            info = true;
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (a == "--bits" || a.rfind("--bits=", 0) == 0) {
            const std::string v = a == "--bits" ? (i + 1 < argc ? argv[++i] : "") : a.substr(7);
            if (v != "16" && v != "24") {
                std::fprintf(stderr, "aacd-decode: --bits takes 16 or 24\n");
                return kExitUsage;
            }
            opt.bits = std::atoi(v.c_str());
        } else if (a == "--lose" || a.rfind("--lose=", 0) == 0) {
            const std::string v = a == "--lose" ? (i + 1 < argc ? argv[++i] : "") : a.substr(7);
            if (!parse_lose(v.c_str(), &opt.lose_probability, &opt.lose_seed)) {
                std::fprintf(stderr, "aacd-decode: --lose takes P[,SEED] with P in 0..1 (or 0..100%%)\n");
                return kExitUsage;
            }
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "aacd-decode: unknown option %s\n", a.c_str());
            usage(stderr);
            return kExitUsage;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2 && !(info && files.size() == 1)) {
        usage(stderr);
        return kExitUsage;
    }
    const std::string in_name = files[0];
    const bool have_output = files.size() == 2;
    // A closed pipe is a write error with a reason, not a silent death.
    ::signal(SIGPIPE, SIG_IGN);

    Input input;
    std::string err;
    if (!input.open(in_name, &err)) {
        std::fprintf(stderr, "aacd-decode: %s\n", err.c_str());
        return kExitInput;
    }
    Demuxer demux;
    if (!demux.open(&input)) {
        std::fprintf(stderr, "aacd-decode: %s: %s\n", in_name.c_str(), demux.error().c_str());
        return kExitInput;
    }
    const StreamInfo &si = demux.info();
    const bool file_input = input.seekable() && in_name != "-";
    uint64_t blocks = 0;
    if (info || (have_output && files[1] == "-" && file_input)) blocks = count_blocks(in_name, si);

    if (info) {
        // The first frames tell the channel positions and whether SBR data
        // is there.
        HostStats probe_stats;
        ChannelLayout probe_layout{};
        bool probed = false;
        if (file_input) {
            Input pin;
            Demuxer pd;
            HostDecoder probe;
            if (pin.open(in_name, &err) && pd.open(&pin) && probe.init(opt, &err)) {
                (void)probe.run(
                    pd,
                    [&](const OutFrame &f) {
                        if (f.layout->channels > 0) probe_layout = *f.layout;
                        return true;
                    },
                    &err, nullptr, 8);
                probe_stats = probe.stats();
                probed = true;
            }
        }
        print_info(in_name, demux, blocks, probed ? &probe_stats : nullptr, probed ? &probe_layout : nullptr);
        if (!have_output) return kExitOk;
    }
    if (si.sbr_signalled) {
        std::fprintf(stderr, "aacd-decode: warning: the stream signals SBR (HE-AAC): only the AAC core is "
                             "decoded, at half the output rate (%u Hz)\n", si.sampling_rate);
    }
    if (opt.lose_probability > 0 && si.format == StreamFormat::kAdif) {
        std::fprintf(stderr, "aacd-decode: warning: --lose is ignored for ADIF (blocks have no stated length)\n");
    }

    HostDecoder dec;
    if (!dec.init(opt, &err)) {
        std::fprintf(stderr, "aacd-decode: %s\n", err.c_str());
        return kExitInput;
    }
    Output out;
    out.base = files[1];
    out.bits = opt.bits;
    out.live = !file_input;
    out.trimmed = si.trimmed;
    out.skip = si.trim_start;
    out.keep = si.trim_length != 0 ? si.trim_length : UINT64_MAX;
    if (blocks != 0) {
        // A pipe gets the exact sizes in its header when they are known.
        const uint64_t n = output_samples(si, blocks);
        out.expected_bytes = n * static_cast<uint64_t>(si.channels) * static_cast<uint64_t>(opt.bits / 8);
        if (si.channels == 0) out.expected_bytes = UINT64_MAX;
    }

    bool sbr_warned = si.sbr_signalled;
    const bool progress_line = !quiet && isatty(STDERR_FILENO) && input.size() > (1u << 20);
    auto sink = [&](const OutFrame &f) {
        if (!sbr_warned && dec.stats().sbr_frames > 0) {
            sbr_warned = true;
            std::fprintf(stderr, "aacd-decode: warning: the stream carries SBR data (HE-AAC): only the AAC core "
                                 "is decoded, at half the output rate (%u Hz)\n", f.sample_rate);
        }
        return out.frame(f);
    };
    auto progress = [&](const Demuxer &d, const HostStats &s) {
        if (!progress_line) return;
        std::fprintf(stderr, "\r%5.1f%%  %llu frames",
                     100.0 * static_cast<double>(d.position()) / static_cast<double>(d.size() ? d.size() : 1),
                     static_cast<unsigned long long>(s.blocks));
    };

    const bool ok = dec.run(demux, sink, &err, progress);
    if (progress_line) std::fprintf(stderr, "\r%40s\r", "");
    (void)out.close_part();
    const HostStats &s = dec.stats();
    if (!out.error.empty()) {
        std::fprintf(stderr, "aacd-decode: %s\n", out.error.c_str());
        return out.exit_code;
    }
    if (!ok && out.files.empty()) {
        // Refused before any output: the reason only.
        std::fprintf(stderr, "aacd-decode: %s: %s\n", in_name.c_str(), err.c_str());
        return kExitInput;
    }
    if (out.files.empty()) {
        std::fprintf(stderr, "aacd-decode: %s: no audio %s\n", in_name.c_str(),
                     s.frames_out == 0 ? "frame found" : "channel in the stream");
        return kExitInput;
    }
    if (!quiet) {
        std::string line = "aacd-decode: " + plural(s.frames_out, "frame") + " decoded, " +
                           std::to_string(s.concealed) + " concealed";
        const std::string c = concealed_text(s);
        if (!c.empty()) line += " (" + c + ")";
        if (demux.skipped_bytes()) {
            line += "; " + plural(demux.skipped_bytes(), "byte") + " skipped in " +
                    plural(demux.resyncs(), "resynchronisation");
        }
        if (demux.truncated_frames()) {
            line += si.format == StreamFormat::kMp4
                        ? "; file cut short: " + plural(demux.truncated_frames(), "frame") + " of its index missing"
                        : "; last frame cut short";
        }
        if (out.trimmed_samples != 0) {
            line += "; " + plural(out.trimmed_samples, "sample") + " of encoder delay and padding removed (" +
                    si.trim_source + ")";
        }
        if (out.files.size() > 1) line += "; " + std::to_string(out.files.size()) + " files for the format changes";
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (!ok) {
        std::fprintf(stderr, "aacd-decode: %s: %s\n", in_name.c_str(), err.c_str());
        return kExitInput;
    }
    return kExitOk;
}
