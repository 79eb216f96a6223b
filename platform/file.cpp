// The parts of files that need no system call of their own.
#include "platform/file.h"

namespace zelpack::platform {

Result<std::size_t> File::ReadFull(std::span<std::uint8_t> buffer) {
    std::size_t total = 0;
    while (total < buffer.size()) {
        const Result<std::size_t> count = Read(buffer.subspan(total));
        if (!count) {
            return count.error();
        }
        if (*count == 0) {
            break;
        }
        total += *count;
    }
    return total;
}

Result<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path) {
    Result<File> file = File::OpenForReading(path);
    if (!file) {
        return file.error();
    }
    std::vector<std::uint8_t> content;
    if (const Result<std::uint64_t> size = file->Size()) {
        content.reserve(static_cast<std::size_t>(*size));
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const Result<std::size_t> count = file->Read(chunk);
        if (!count) {
            return count.error();
        }
        if (*count == 0) {
            break;
        }
        content.insert(content.end(), chunk, chunk + *count);
    }
    return content;
}

}  // namespace zelpack::platform
