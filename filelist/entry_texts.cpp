#include "filelist/entry_texts.h"

#include "platform/filetime.h"

namespace zelpack {

namespace {

std::u16string Widen(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

}  // namespace

std::u16string SizeText(const FileEntry& entry) {
    const std::uint64_t size = platform::FileSizeOf(entry);
    return Widen(std::to_string(size / 1024 + (size % 1024 != 0 ? 1 : 0)) + "K");
}

std::u16string DateText(const FileEntry& entry) {
    platform::SystemTime t;
    if (!platform::FileTimeToSystemTime(entry.ftLastWriteTime, t)) {
        return {};
    }
    return Widen(std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" +
                 std::to_string(t.wDay) + " " + std::to_string(t.wHour) + ":" +
                 std::to_string(t.wMinute));
}

}  // namespace zelpack
