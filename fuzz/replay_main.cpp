// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Runs a fuzz target's LLVMFuzzerTestOneInput once on every file named on
// the command line, and on every file inside each directory named, without
// libFuzzer: ctest replays fuzz/regressions/<target> with it on every build.
// Files whose name starts with a dot are skipped.
// A broken invariant traps; a sanitizer report aborts.  A missing directory
// counts as empty.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i], ec) && fs::exists(argv[i], ec)) files.emplace_back(argv[i]);
        for (const auto &e : fs::directory_iterator(argv[i], ec))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
    }
    for (const fs::path &f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::printf("%s (%zu bytes)\n", f.filename().c_str(), data.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
