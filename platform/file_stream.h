// An output stream buffer over an open file that keeps the system's reason when a write fails,
// so that a program can say why its output was lost (a full disk, a closed pipe).
#pragma once

#include <array>
#include <optional>
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
    // Writes what is buffered: all of it when `whole`, else up to the last complete character.
    bool Drain(bool whole = false);

    File file_;
    std::error_code error_;
    std::array<char, 16 * 1024> buffer_;
};

// For as long as it lives, std::cout and std::cerr write to the process's standard output and
// error through FileOutputBuffers: a failed write keeps its reason, and Chinese reaches a Windows
// console as characters. Streams that cannot be had stay as they were.
class StandardStreams {
  public:
    StandardStreams();
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

  private:
    std::optional<FileOutputBuffer> out_;
    std::optional<FileOutputBuffer> err_;
    std::streambuf* saved_out_ = nullptr;
    std::streambuf* saved_err_ = nullptr;
};

}  // namespace zelpack::platform
