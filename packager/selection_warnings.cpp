#include "packager/selection_warnings.h"

#include <array>
#include <map>

#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/text.h"

namespace zelpack {

namespace {

// Upper-case as Windows compares names, for the scripts plug-in names are written in; other
// letters compare as they are.
char16_t FoldCase(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
        return static_cast<char16_t>(c - 0x20);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<char16_t>(c - 0x50);
    }
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        // Latin Extended-A pairs capitals with the following small letter, changing parity at
        // U+0138 and again at U+0149.
        const bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return static_cast<char16_t>((c % 2 == 1) == odd_capitals ? c : c - 1);
    }
    return c;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) {
        c = FoldCase(c);
    }
    return folded;
}

bool EndsWith(std::u16string_view text, std::u16string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// `name` is the last component, folded.
bool LooksLikeSecret(std::u16string_view name) {
    constexpr std::array<std::u16string_view, 6> kExtensions{u".PEM", u".KEY",      u".P12",
                                                             u".PFX", u".KEYSTORE", u".ENV"};
    constexpr std::array<std::u16string_view, 4> kKeyFiles{u"ID_RSA", u"ID_DSA", u"ID_ECDSA",
                                                           u"ID_ED25519"};
    for (std::u16string_view extension : kExtensions) {
        if (EndsWith(name, extension)) {
            return true;
        }
    }
    for (std::u16string_view key : kKeyFiles) {
        if (name.starts_with(key)) {
            return true;
        }
    }
    return name == u".ENV" || name.starts_with(u".ENV.");
}

// Why Windows cannot hold a file or folder named `name`; empty when it can.
std::u16string WindowsNameProblem(std::u16string_view name) {
    for (const char16_t c : name) {
        if (std::u16string_view(u":*?\"<>|").find(c) != std::u16string_view::npos) {
            return u"含有字符 " + std::u16string(1, c);
        }
    }
    if (!name.empty() && (name.back() == u'.' || name.back() == u' ')) {
        return u"以点或空格结尾";
    }
    // A device name stays reserved with any extension: "nul.txt" is the device too.
    const std::u16string_view stem = name.substr(0, name.find(u'.'));
    const std::u16string folded = Folded(stem);
    const bool numbered = folded.size() == 4 && folded[3] >= u'1' && folded[3] <= u'9' &&
                          (folded.starts_with(u"COM") || folded.starts_with(u"LPT"));
    if (folded == u"CON" || folded == u"PRN" || folded == u"AUX" || folded == u"NUL" || numbered) {
        return u"是保留的设备名 " + std::u16string(stem);
    }
    return {};
}

}  // namespace

std::vector<std::u16string> SelectionWarnings(std::u16string_view folder,
                                              std::span<const std::u16string> selection) {
    std::vector<std::u16string> warnings;
    std::map<std::u16string, std::u16string> seen;  // folded path -> the path first met
    for (const std::u16string& file : selection) {
        const std::u16string path = platform::PortablePath(file);
        const std::size_t slash = path.rfind(u'/');
        const std::u16string_view name =
            std::u16string_view(path).substr(slash == std::u16string::npos ? 0 : slash + 1);
        if (LooksLikeSecret(Folded(name))) {
            warnings.push_back(u"警告：" + path + u" 看起来是密钥或凭据文件");
        }
        for (std::size_t start = 0; start <= path.size();) {
            const std::size_t end = std::min(path.find(u'/', start), path.size());
            const std::u16string problem =
                WindowsNameProblem(std::u16string_view(path).substr(start, end - start));
            if (!problem.empty()) {
                warnings.push_back(u"警告：" + path + u" 的名字在 Windows 上无效（" + problem +
                                   u"）");
                break;
            }
            start = end + 1;
        }
        const auto [first, fresh] = seen.emplace(Folded(path), path);
        if (!fresh) {
            warnings.push_back(u"警告：" + path + u" 与 " + first->second +
                               u" 只差字母大小写，安装到 Windows 时会互相覆盖");
        }
        const platform::Result<platform::FindData> record =
            platform::QueryFile(platform::JoinPath(folder, file));
        if (record && platform::FileSizeOf(*record) > kLargeFileWarningSize) {
            warnings.push_back(u"警告：" + path + u" 大于 50 MB（" +
                               platform::FromNative(std::to_string(platform::FileSizeOf(*record))) +
                               u" 字节）");
        }
    }
    return warnings;
}

}  // namespace zelpack
