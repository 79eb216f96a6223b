// An output stream buffer over an open file that keeps the system's reason when a write fails,
// so that a program can say why its output was lost (a full disk, a closed pipe).
#pragma once

#include <array>
#include <streambuf>
#include <system_error>

#include "platform/file.h"

namespace zelpack::platform {

class FileOutputBuffer : public std::streambuf {
  public:
    explicit FileOutputBuffer(File file);
    // Writes what is buffered; the reason of a failure stays in error().
    ~FileOutputBuffer() override;

    // The reason of the first failed write; empty while every write went through.
    const std::error_code& error() const { return error_; }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int sync() override;

  private:
    bool Drain();

    File file_;
    std::error_code error_;
    std::array<char, 16 * 1024> buffer_;
};

}  // namespace zelpack::platform
