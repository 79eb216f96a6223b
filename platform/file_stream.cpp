#include "platform/file_stream.h"

#include <cstring>

namespace zelpack::platform {

FileOutputBuffer::FileOutputBuffer(File file) : file_(std::move(file)) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FileOutputBuffer::~FileOutputBuffer() {
    Drain();
}

bool FileOutputBuffer::Drain() {
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    if (error_) {
        return false;
    }
    if (pending != 0) {
        const Status written =
            file_.WriteAll({reinterpret_cast<const std::uint8_t*>(buffer_.data()), pending});
        if (!written) {
            error_ = written.error();
            return false;
        }
    }
    return true;
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
    return Drain() ? 0 : -1;
}

}  // namespace zelpack::platform
