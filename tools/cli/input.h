// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// input.h - reads a file, a pipe or a memory buffer through a bounded window.
//
// The demuxers ask for the bytes they need next (need()) and move on
// (skip(), seek()); only a window around the read position is kept, so
// memory stays bounded whatever the size of the input, and a pipe is
// decoded as its bytes arrive.  A file is read with plain read(2) calls; a
// regular file can also be repositioned (seek()), which the MP4 demuxer
// uses for files whose index comes after the media data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace aacd_cli {

class Input {
public:
    // Largest window need() may ask for.
    static constexpr size_t kMaxWindow = size_t{64} << 20;

    Input() = default;
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;
    ~Input();

    // Opens a file ("-" = standard input).  False with a message.
    [[nodiscard]] bool open(const std::string &name, std::string *err);
    // Reads from a buffer that stays valid while the input is used.
    void open_memory(const uint8_t *data, size_t size);

    // Makes n bytes at the read position available.  False when the input
    // ends (or fails, see error()) first: avail() then tells what there is.
    [[nodiscard]] bool need(size_t n);
    // Bytes at the read position (valid until the next need/skip/seek).
    [[nodiscard]] const uint8_t *data() const { return buf_ + start_; }
    [[nodiscard]] size_t avail() const { return end_ - start_; }
    // Moves the read position n bytes on (n <= avail()).
    void skip(size_t n) { start_ += n; }
    // Moves the read position to an absolute offset.  Backwards only within
    // the window or on a seekable input; forwards on a pipe by reading.
    [[nodiscard]] bool seek(uint64_t offset);
    // Absolute offset of the read position.
    [[nodiscard]] uint64_t pos() const { return base_ + start_; }
    // True when the read position is at the end of the input.
    [[nodiscard]] bool at_end() { return !need(1); }

    [[nodiscard]] bool seekable() const { return seekable_; }
    // Size of a regular file or memory buffer, 0 when unknown.
    [[nodiscard]] uint64_t size() const { return size_; }
    // Read error (with its reason), empty when none.
    [[nodiscard]] const std::string &error() const { return error_; }

private:
    bool fill(size_t n);

    int fd_ = -1;
    bool own_fd_ = false;
    bool seekable_ = false;
    bool eof_ = false;
    uint64_t size_ = 0;
    std::vector<uint8_t> store_;   // window of a file
    const uint8_t *buf_ = nullptr; // store_.data() or the memory buffer
    size_t start_ = 0, end_ = 0;   // window: buf_[start_, end_)
    uint64_t base_ = 0;            // offset of buf_[0] in the input
    std::string error_;
};

} // namespace aacd_cli
