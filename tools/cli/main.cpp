// aacd-decode - decodes an ADTS or ADIF AAC Low Complexity stream to WAV.
//
//   aacd-decode [options] INPUT OUTPUT.wav      ("-" = stdin / stdout)
//
// Uses only the public interface of the shared library (aacd.h).  The WAV
// holds exactly 1024 samples per channel for every raw data block of the
// input, aligned with the input (the decoder's one-frame delay is removed).
// Exit status: 0 success, 1 bad input or unsupported stream, 2 usage error,
// 3 output error.
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
#include "wav.h"

namespace {

using namespace aacd_cli;

void usage(std::FILE *f) {
    std::fprintf(f,
                 "usage: aacd-decode [options] INPUT OUTPUT.wav\n"
                 "Decodes an AAC Low Complexity stream (ADTS or ADIF) to a WAV file.\n"
                 "INPUT or OUTPUT may be - for standard input or output.\n"
                 "\n"
                 "options:\n"
                 "  --bits 16|24     sample size of the WAV file (default 16)\n"
                 "  --info           print the stream parameters on standard error\n"
                 "  --lose P[,SEED]  drop each raw data block with probability P (0..1,\n"
                 "                   or a percentage such as 5%%) to hear concealment;\n"
                 "                   SEED (default 1) makes the drops reproducible\n"
                 "  -q, --quiet      no closing line and no progress line\n"
                 "  -h, --help       this text\n"
                 "  --version        decoder version\n");
}

bool read_all(std::FILE *f, std::vector<uint8_t> *out) {
    uint8_t buf[65536];
    for (;;) {
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        out->insert(out->end(), buf, buf + n);
        if (n < sizeof buf) return !std::ferror(f);
    }
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

const char *channel_config_text(int cc) {
    static const char *const t[8] = {"0 (program configuration in band)", "1 (mono)", "2 (stereo)",
                                     "3 (3.0)", "4 (4.0)", "5 (5.0)", "6 (5.1)", "7 (7.1)"};
    return t[cc & 7];
}

void print_info(const Demuxer &d, const char *input) {
    const StreamInfo &i = d.info();
    std::fprintf(stderr, "input:          %s\n", input);
    std::fprintf(stderr, "container:      %s", format_name(i.format));
    if (i.format == StreamFormat::kAdts) {
        std::fprintf(stderr, " (MPEG-%d, %s, %d raw data block%s per frame)\n", i.mpeg_id ? 2 : 4,
                     i.crc ? "CRC" : "no CRC", i.raw_blocks, i.raw_blocks == 1 ? "" : "s");
    } else {
        std::fprintf(stderr, " (%d program configuration%s, %u bit/s)\n", i.num_pce,
                     i.num_pce == 1 ? "" : "s", i.bitrate);
    }
    std::fprintf(stderr, "profile:        %s\n", i.profile == 1 ? "Low Complexity" : "other");
    std::fprintf(stderr, "sampling rate:  %u Hz (index %d)\n", i.sampling_rate, i.sampling_index);
    if (i.format == StreamFormat::kAdts) {
        std::fprintf(stderr, "channel config: %s\n", channel_config_text(i.channel_config));
    }
    if (i.channels > 0) {
        std::fprintf(stderr, "channels:       %d\n", i.channels);
    } else {
        std::fprintf(stderr, "channels:       given by the stream's program configuration\n");
    }
    std::fprintf(stderr, "decoder:        %s\n", aacd_decode_versionInfo());
}

std::string status_text(const HostStats &s) {
    std::string t;
    for (const auto &kv : s.statuses) {
        if (!t.empty()) t += ", ";
        t += std::to_string(kv.first) + " x" + std::to_string(kv.second);
    }
    return t.empty() ? "none" : t;
}

std::string speaker_text(const ChannelLayout &l) {
    std::string t;
    for (int k = 0; k < l.channels; ++k) {
        const char *n = "?";
        switch (l.speaker[k]) {
        case kSpeakerFrontLeft: n = "FL"; break;
        case kSpeakerFrontRight: n = "FR"; break;
        case kSpeakerFrontCenter: n = "FC"; break;
        case kSpeakerLfe: n = "LFE"; break;
        case kSpeakerBackLeft: n = "BL"; break;
        case kSpeakerBackRight: n = "BR"; break;
        case kSpeakerBackCenter: n = "BC"; break;
        default: break;
        }
        if (!t.empty()) t += ' ';
        t += n;
    }
    return t;
}

} // namespace

int main(int argc, char **argv) {
    HostOptions opt;
    bool info = false;
    bool quiet = false;
    std::vector<const char *> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("aacd-decode %s\n%s\n", AACD_VERSION_STRING, aacd_decode_versionInfo());
            return 0;
        } else if (a == "--info") {
            info = true;
        } else if (a == "-q" || a == "--quiet") {
            quiet = true;
        } else if (a == "--bits" || a.rfind("--bits=", 0) == 0) {
            const std::string v = a == "--bits" ? (i + 1 < argc ? argv[++i] : "") : a.substr(7);
            if (v != "16" && v != "24") {
                std::fprintf(stderr, "aacd-decode: --bits takes 16 or 24\n");
                return 2;
            }
            opt.bits = std::atoi(v.c_str());
        } else if (a == "--lose" || a.rfind("--lose=", 0) == 0) {
            const std::string v = a == "--lose" ? (i + 1 < argc ? argv[++i] : "") : a.substr(7);
            if (!parse_lose(v.c_str(), &opt.lose_probability, &opt.lose_seed)) {
                std::fprintf(stderr, "aacd-decode: --lose takes P[,SEED] with P in 0..1 (or 0..100%%)\n");
                return 2;
            }
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            std::fprintf(stderr, "aacd-decode: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        usage(stderr);
        return 2;
    }
    const std::string in_name = files[0];
    const std::string out_name = files[1];

    std::vector<uint8_t> input;
    {
        std::FILE *f = in_name == "-" ? stdin : std::fopen(in_name.c_str(), "rb");
        if (f == nullptr) {
            std::fprintf(stderr, "aacd-decode: cannot open %s: %s\n", in_name.c_str(), std::strerror(errno));
            return 1;
        }
        const bool ok = read_all(f, &input);
        if (f != stdin) std::fclose(f);
        if (!ok) {
            std::fprintf(stderr, "aacd-decode: cannot read %s\n", in_name.c_str());
            return 1;
        }
    }

    Demuxer demux;
    if (!demux.open(input.data(), input.size())) {
        std::fprintf(stderr, "aacd-decode: %s: %s\n", in_name.c_str(), demux.error().c_str());
        return 1;
    }
    if (info) print_info(demux, in_name.c_str());
    if (opt.lose_probability > 0 && demux.info().format == StreamFormat::kAdif) {
        std::fprintf(stderr, "aacd-decode: warning: --lose is ignored for ADIF (blocks have no stated length)\n");
    }

    HostDecoder dec;
    std::string err;
    if (!dec.init(opt, &err)) {
        std::fprintf(stderr, "aacd-decode: %s\n", err.c_str());
        return 1;
    }

    std::FILE *out = nullptr;
    WavWriter wav;
    bool out_failed = false;
    const bool progress_line = !quiet && isatty(STDERR_FILENO) && input.size() > (1u << 20);
    auto sink = [&](const OutFrame &f) {
        if (out == nullptr) {
            out = out_name == "-" ? stdout : std::fopen(out_name.c_str(), "wb");
            if (out == nullptr) {
                std::fprintf(stderr, "aacd-decode: cannot create %s: %s\n", out_name.c_str(),
                             std::strerror(errno));
                out_failed = true;
                return false;
            }
            WavFormat fmt;
            fmt.sample_rate = f.sample_rate != 0 ? f.sample_rate : demux.info().sampling_rate;
            fmt.channels = static_cast<uint16_t>(f.layout->channels);
            fmt.bits = static_cast<uint16_t>(opt.bits);
            fmt.channel_mask = f.layout->channel_mask;
            if (info) {
                std::fprintf(stderr, "output:         %s, %u Hz, %d channel%s (%s), %d bits\n",
                             out_name.c_str(), fmt.sample_rate, f.layout->channels,
                             f.layout->channels == 1 ? "" : "s", speaker_text(*f.layout).c_str(), opt.bits);
            }
            if (f.layout->channels == 0) {
                std::fprintf(stderr, "aacd-decode: the stream carries no audio channel\n");
                out_failed = true;
                return false;
            }
            if (!wav.start(out, fmt)) {
                out_failed = true;
                return false;
            }
        }
        if (!wav.write(f.samples, 1024)) {
            out_failed = true;
            return false;
        }
        return true;
    };
    auto progress = [&](const Demuxer &d, const HostStats &s) {
        if (!progress_line) return;
        std::fprintf(stderr, "\r%5.1f%%  %llu frames", 100.0 * static_cast<double>(d.position()) /
                                                           static_cast<double>(d.size() ? d.size() : 1),
                     static_cast<unsigned long long>(s.blocks));
        std::fflush(stderr);
    };

    const bool ok = dec.run(demux, sink, &err, progress);
    if (progress_line) std::fprintf(stderr, "\r%40s\r", "");
    bool write_ok = !out_failed;
    if (out != nullptr) {
        write_ok = wav.finish() && write_ok;
        if (out != stdout) write_ok = std::fclose(out) == 0 && write_ok;
    }
    const HostStats &s = dec.stats();
    if (!quiet) {
        std::fprintf(stderr, "aacd-decode: %llu frames decoded, %llu concealed", 
                     static_cast<unsigned long long>(s.frames_out),
                     static_cast<unsigned long long>(s.concealed));
        if (s.dropped) std::fprintf(stderr, " (%llu dropped on purpose)", static_cast<unsigned long long>(s.dropped));
        std::fprintf(stderr, "; statuses: %s", status_text(s).c_str());
        if (demux.skipped_bytes()) {
            std::fprintf(stderr, "; %llu bytes skipped (%llu resyncs)",
                         static_cast<unsigned long long>(demux.skipped_bytes()),
                         static_cast<unsigned long long>(demux.resyncs()));
        }
        if (demux.truncated_frames()) std::fprintf(stderr, "; last frame truncated");
        std::fprintf(stderr, "\n");
    }
    if (!ok && !out_failed) {
        std::fprintf(stderr, "aacd-decode: %s: %s\n", in_name.c_str(), err.c_str());
        return 1;
    }
    if (out_failed || !write_ok) {
        if (!out_failed) std::fprintf(stderr, "aacd-decode: error writing %s\n", out_name.c_str());
        return 3;
    }
    if (s.frames_out == 0) {
        std::fprintf(stderr, "aacd-decode: %s: no audio frame found\n", in_name.c_str());
        return 1;
    }
    return 0;
}
