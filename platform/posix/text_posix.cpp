// POSIX: the narrow forms of text, where the native form is UTF-8 throughout, and code pages
// through iconv.
#include <errno.h>
#include <iconv.h>

#include <bit>
#include <optional>
#include <utility>
#include <vector>

#include "platform/posix/errors_posix.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

// iconv's name for a Windows code page: the Windows variants (CP932 rather than SHIFT_JIS,
// CP936 rather than GB2312) decode the same bytes as the Windows build.
const char* IconvName(std::uint32_t code_page) {
    switch (code_page) {
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
        case 1252:
            return "CP1252";
        case 54936:
            return "GB18030";
        default:
            return nullptr;
    }
}

// One converter per code page and thread, kept: opening one costs more than most conversions.
class Converters {
  public:
    Converters() = default;
    ~Converters() {
        for (const auto& [name, handle] : open_) {
            iconv_close(handle);
        }
    }
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;

    // Nothing when iconv has no such converter (errno says why).
    std::optional<iconv_t> From(const char* name) {
        for (const auto& [known, handle] : open_) {
            if (known == name) {
                return handle;
            }
        }
        const iconv_t handle =
            iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", name);
        if (handle == reinterpret_cast<iconv_t>(-1)) {
            return std::nullopt;
        }
        open_.emplace_back(name, handle);
        return handle;
    }

  private:
    std::vector<std::pair<const char*, iconv_t>> open_;
};

}  // namespace

std::string ToAnsiCodePage(std::u16string_view wide) {
    return ToNative(wide);
}

ArchiveName EncodeArchiveName(std::u16string_view name) {
    return {ToNative(name), true};
}

Result<std::size_t> DecodeCodePage(std::uint32_t code_page, std::string_view bytes,
                                   std::u16string& out) {
    const char* name = IconvName(code_page);
    if (name == nullptr) {
        return ErrorOf(EINVAL);
    }
    thread_local Converters converters;
    const std::optional<iconv_t> converter = converters.From(name);
    if (!converter) {
        return LastError();
    }
    // From the initial state, whatever an earlier call that failed left.
    iconv(*converter, nullptr, nullptr, nullptr, nullptr);
    // A byte gives at most one unit; a character of four bytes at most two.
    std::u16string wide(bytes.size(), u'\0');
    char* source = const_cast<char*>(bytes.data());
    std::size_t source_left = bytes.size();
    char* target = reinterpret_cast<char*>(wide.data());
    std::size_t target_left = wide.size() * sizeof(char16_t);
    if (iconv(*converter, &source, &source_left, &target, &target_left) ==
            static_cast<std::size_t>(-1) &&
        errno != EINVAL) {
        // EINVAL is a character cut short at the end, which waits for the next bytes.
        return LastError();
    }
    wide.resize(wide.size() - target_left / sizeof(char16_t));
    out += wide;
    return bytes.size() - source_left;
}

}  // namespace zelpack::platform
