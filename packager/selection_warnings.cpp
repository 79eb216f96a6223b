#include "packager/selection_warnings.h"

#include <array>
#include <map>

#include "filelist/default_ticks.h"
#include "filelist/ignore_rules.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/text.h"

namespace zelpack {

namespace {

bool EndsWith(std::u16string_view text, std::u16string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// `name` is the last component, upper-cased.
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
    const std::u16string folded = platform::UpperCased(stem);
    const bool numbered = folded.size() == 4 && folded[3] >= u'1' && folded[3] <= u'9' &&
                          (folded.starts_with(u"COM") || folded.starts_with(u"LPT"));
    if (folded == u"CON" || folded == u"PRN" || folded == u"AUX" || folded == u"NUL" || numbered) {
        return u"是保留的设备名 " + std::u16string(stem);
    }
    return {};
}

}  // namespace

std::vector<Notice> SelectionWarnings(std::span<const FileEntry> selection) {
    std::vector<Notice> warnings;
    std::map<std::u16string, std::u16string> seen;  // folded path -> the path first met
    for (const FileEntry& entry : selection) {
        const std::u16string path = platform::PortablePath(entry.cFileName);
        const std::size_t slash = path.rfind(u'/');
        const std::u16string_view name =
            std::u16string_view(path).substr(slash == std::u16string::npos ? 0 : slash + 1);
        const std::u16string folded_name = platform::UpperCased(name);
        if (LooksLikeSecret(folded_name)) {
            warnings.push_back(
                {"secret", {{"path", path}}, u"警告：" + path + u" 看起来是密钥或凭据文件"});
        }
        if (EndsWith(folded_name, u".ZIP")) {
            warnings.push_back({"zip_archive",
                                {{"path", path}},
                                u"警告：" + path + u" 是 ZIP 压缩包，将被打包进去"});
        }
        for (std::size_t start = 0; start <= path.size();) {
            const std::size_t end = std::min(path.find(u'/', start), path.size());
            const std::u16string problem =
                WindowsNameProblem(std::u16string_view(path).substr(start, end - start));
            if (!problem.empty()) {
                warnings.push_back(
                    {"windows_name",
                     {{"path", path}, {"problem", problem}},
                     u"警告：" + path + u" 的名字在 Windows 上无效（" + problem + u"）"});
                break;
            }
            start = end + 1;
        }
        const auto [first, fresh] = seen.emplace(platform::UpperCased(path), path);
        if (!fresh) {
            warnings.push_back({"case_clash",
                                {{"path", path}, {"other", first->second}},
                                u"警告：" + path + u" 与 " + first->second +
                                    u" 只差字母大小写，安装到 Windows 时会互相覆盖"});
        }
        if (!entry.error && platform::FileSizeOf(entry) > kLargeFileWarningSize) {
            const std::uint64_t size = platform::FileSizeOf(entry);
            warnings.push_back(
                {"large_file",
                 {{"path", path}, {"size", size}},
                 u"警告：" + path + u" 大于 50 MB（" + platform::DecimalText(size) + u" 字节）"});
        }
    }
    return warnings;
}

std::vector<Notice> SelectionWarnings(std::u16string_view folder,
                                      std::span<const std::u16string> selection) {
    std::vector<FileEntry> records;
    records.reserve(selection.size());
    for (const std::u16string& path : selection) {
        records.push_back(RecordNow(folder, path));
    }
    return SelectionWarnings(records);
}

Notice DefaultUntick(const FileEntry& entry) {
    if (entry.outside_link) {
        return {"outside_link", {}, u"指向插件文件夹以外的链接"};
    }
    if (entry.previous_archive) {
        return {"previous_archive", {}, u"上次打包的压缩包"};
    }
    // The user's own rule says more than a mark that happens to be in the name.
    if (entry.ignored) {
        return {"ignore",
                {{"pattern", entry.ignored->pattern},
                 {"line", static_cast<std::uint64_t>(entry.ignored->line)}},
                IgnoreReason(*entry.ignored)};
    }
    if (const auto mark = BuildOutputMark(entry.cFileName)) {
        return {
            "mark", {{"mark", std::u16string(*mark)}}, u"编译输出标记：" + std::u16string(*mark)};
    }
    return {};
}

std::u16string DefaultUntickReason(const FileEntry& entry) {
    return DefaultUntick(entry).text;
}

std::u16string UnreadableText(const FileEntry& entry) {
    const bool folder = (entry.dwFileAttributes & platform::kAttributeDirectory) != 0;
    return (folder ? u"无法列出文件夹 " : u"无法读取文件信息 ") +
           platform::PortablePath(entry.cFileName) + u"：" + platform::ErrorText(entry.error);
}

Notice UnreadableWarning(const FileEntry& entry) {
    return {"unreadable",
            {{"path", platform::PortablePath(entry.cFileName)},
             {"error", platform::FromNative(platform::ErrorName(entry.error))}},
            u"警告：" + UnreadableText(entry)};
}

Notice UnfollowedLinkWarning(std::u16string_view link) {
    const std::u16string path = platform::PortablePath(link);
    return {"unfollowed_link",
            {{"path", path}},
            u"警告：" + path + u" 是指向插件文件夹以外的文件夹的链接，未跟随"};
}

}  // namespace zelpack
