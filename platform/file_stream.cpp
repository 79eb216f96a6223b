#include "platform/file_stream.h"

#include <cstring>
#include <iostream>

namespace zelpack::platform {

FileOutputBuffer::FileOutputBuffer(File file) : file_(std::move(file)) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

namespace {

// Where the last whole UTF-8 sequence of `text` ends: a console takes characters, not bytes, so
// one that a full buffer cut in two waits for its other half.
std::size_t CompletePrefix(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back for the lead
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

}  // namespace

FileOutputBuffer::~FileOutputBuffer() {
    Drain(true);
}

bool FileOutputBuffer::Drain(bool whole) {
    const std::string_view pending(buffer_.data(), static_cast<std::size_t>(pptr() - pbase()));
    const std::size_t ready = whole ? pending.size() : CompletePrefix(pending);
    if (!error_ && ready != 0) {
        if (const Status written = file_.WriteText(pending.substr(0, ready)); !written) {
            error_ = written.error();
        }
    }
    // A character cut off at the end moves to the front, to go out with what follows.
    const std::size_t kept = error_ ? 0 : pending.size() - ready;
    std::memmove(buffer_.data(), buffer_.data() + ready, kept);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    pbump(static_cast<int>(kept));
    return !error_;
}

FileOutputBuffer::int_type FileOutputBuffer::overflow(int_type c) {
    if (!Drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize FileOutputBuffer::xsputn(const char* data, std::streamsize count) {
    std::streamsize done = 0;
    while (done < count) {
        if (pptr() == epptr() && !Drain()) {
            break;
        }
        const std::streamsize room = epptr() - pptr();
        const std::streamsize part = std::min(room, count - done);
        std::memcpy(pptr(), data + done, static_cast<std::size_t>(part));
        pbump(static_cast<int>(part));
        done += part;
    }
    return done;
}

int FileOutputBuffer::sync() {
    return Drain(true) ? 0 : -1;
}

StandardStreams::StandardStreams() {
    if (Result<File> out = File::StandardOutput()) {
        out_.emplace(std::move(*out));
        saved_out_ = std::cout.rdbuf(&*out_);
    }
    if (Result<File> err = File::StandardError()) {
        err_.emplace(std::move(*err));
        saved_err_ = std::cerr.rdbuf(&*err_);
    }
}

StandardStreams::~StandardStreams() {
    if (out_) {
        std::cout.flush();
        std::cout.rdbuf(saved_out_);
    }
    if (err_) {
        std::cerr.flush();
        std::cerr.rdbuf(saved_err_);
    }
}

}  // namespace zelpack::platform
