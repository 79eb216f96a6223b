// The parts of files that need no system call of their own: whole reads, and the naming of
// temporary files over the system's exclusive creation.
#include "platform/file.h"

#include "platform/path.h"
#include "platform/random.h"

namespace zelpack::platform {

namespace {

Result<std::u16string> RandomPart() {
    static constexpr char16_t kAlphabet[] = u"abcdefghijklmnopqrstuvwxyz0123456789";
    constexpr std::size_t kLength = 16;  // about 82 bits
    std::uint8_t random[kLength];
    if (const Status filled = FillRandom(random); !filled) {
        return filled.error();
    }
    std::u16string part(kLength, u'x');
    for (std::size_t i = 0; i < kLength; ++i) {
        // 252 of the 256 byte values map evenly; the slight bias matters nothing for a name.
        part[i] = kAlphabet[random[i] % (std::size(kAlphabet) - 1)];
    }
    return part;
}

}  // namespace

Result<File> File::CreateTemporary(std::u16string_view folder, std::u16string_view prefix,
                                   std::u16string_view suffix, std::u16string& path,
                                   TemporaryAccess access) {
    std::u16string base(folder);
    if (!base.empty() && !IsPathSeparator(base.back())) {
        base.push_back(kPathSeparator);
    }
    base += prefix;
    // No name made of these can be created; no random bytes are spent on one.
    if (base.find(u'\0') != std::u16string::npos || suffix.find(u'\0') != std::u16string::npos) {
        return make_error_code(Errc::NulInPath);
    }
    std::error_code taken;
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const Result<std::u16string> random = RandomPart();
        if (!random) {
            return random.error();
        }
        std::u16string candidate = base + *random + std::u16string(suffix);
        Result<File> file = CreateNew(candidate, access);
        if (file) {
            path = std::move(candidate);
            return file;
        }
        if (file.error() != std::errc::file_exists) {
            return file.error();
        }
        taken = file.error();
    }
    return taken;
}

Result<File> File::CreateBeside(std::u16string_view destination, std::u16string& path) {
    return CreateTemporary(FolderOf(destination),
                           u"." + std::u16string(LastComponent(destination)) + u"-", u".tmp", path,
                           TemporaryAccess::AsNewFile);
}

Result<std::u16string> ReserveTemporary(std::u16string_view folder, std::u16string_view prefix,
                                        std::u16string_view suffix, TemporaryAccess access) {
    std::u16string path;
    Result<File> file = File::CreateTemporary(folder, prefix, suffix, path, access);
    if (!file) {
        return file.error();
    }
    if (const Status closed = file->Close(); !closed) {
        RemoveTemporary(path);
        return closed.error();
    }
    return path;
}

void RemoveTemporary(std::u16string_view path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Status removed = DeleteFile(path);
        if (removed || removed.error() == std::errc::no_such_file_or_directory) {
            return;
        }
    }
}

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
