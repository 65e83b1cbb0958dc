// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// input.cpp - bounded input window; see input.h.
#include "input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace aacd_cli {

namespace {
constexpr size_t kReadChunk = size_t{1} << 16;
} // namespace

Input::~Input() {
    if (own_fd_) ::close(fd_);
}

bool Input::open(const std::string &name, std::string *err) {
    if (name == "-") {
        fd_ = STDIN_FILENO;
    } else {
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            *err = "cannot open " + name + ": " + std::strerror(errno);
            return false;
        }
        own_fd_ = true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        size_ = static_cast<uint64_t>(st.st_size);
        seekable_ = ::lseek(fd_, 0, SEEK_CUR) >= 0;
        if (seekable_) base_ = static_cast<uint64_t>(::lseek(fd_, 0, SEEK_CUR));
    }
    if (S_ISDIR(st.st_mode)) {
        *err = "cannot read " + name + ": " + std::strerror(EISDIR);
        return false;
    }
    buf_ = store_.data();
    return true;
}

void Input::open_memory(const uint8_t *data, size_t size) {
    static const uint8_t kNone[1] = {0};
    buf_ = data != nullptr ? data : kNone;
    start_ = 0;
    end_ = data != nullptr ? size : 0;
    size_ = end_;
    seekable_ = true;
    eof_ = true;
}

bool Input::fill(size_t n) {
    if (fd_ < 0 || eof_ || !error_.empty()) return false;
    if (n > kMaxWindow) {
        error_ = "a unit of " + std::to_string(n) + " bytes exceeds the input window of " +
                 std::to_string(kMaxWindow >> 20) + " MiB";
        return false;
    }
    // Keep only the window from the read position on.
    if (start_ > 0) {
        std::memmove(store_.data(), store_.data() + start_, end_ - start_);
        base_ += start_;
        end_ -= start_;
        start_ = 0;
    }
    if (store_.size() < n) store_.resize(n < kReadChunk ? kReadChunk : n + kReadChunk);
    buf_ = store_.data();
    while (end_ < n) {
        // Read what is there (a pipe delivers as it gets), at least enough.
        const size_t room = store_.size() - end_;
        const ssize_t got = ::read(fd_, store_.data() + end_, room);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error_ = std::string("read error: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) {
            eof_ = true;
            return false;
        }
        end_ += static_cast<size_t>(got);
    }
    return true;
}

bool Input::need(size_t n) { return avail() >= n || fill(n); }

bool Input::seek(uint64_t offset) {
    if (offset >= base_ && offset - base_ <= end_) {
        start_ = static_cast<size_t>(offset - base_);
        return true;
    }
    if (fd_ >= 0 && seekable_) {
        if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
            error_ = std::string("seek error: ") + std::strerror(errno);
            return false;
        }
        base_ = offset;
        start_ = end_ = 0;
        eof_ = false;
        return true;
    }
    if (offset < pos()) {
        error_ = "the input cannot go back (not a seekable file)";
        return false;
    }
    while (pos() < offset) {
        if (!need(1)) return false;
        const uint64_t step = offset - pos();
        skip(step < avail() ? static_cast<size_t>(step) : avail());
    }
    return true;
}

} // namespace aacd_cli
