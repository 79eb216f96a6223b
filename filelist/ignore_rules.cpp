#include "filelist/ignore_rules.h"

#include <algorithm>
#include <span>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/text.h"

namespace zelpack {

namespace {

// Strict UTF-8 as UTF-16; none for bytes that are not. `shown` gets the text either way, with
// U+FFFD for each byte that is no part of a character, for a warning to quote.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes, std::u16string& shown) {
    std::u16string text;
    bool valid = true;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xC2 && lead < 0xE0 ? 2
                                   : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xF0 && lead < 0xF5 ? 4
                                                                 : 0;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        bool whole = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            whole = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no characters either.
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        whole = whole && cp >= kLeast[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!whole) {
            valid = false;
            text += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            text += static_cast<char16_t>(0xD7C0 + (cp >> 10));
            text += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        } else {
            text += static_cast<char16_t>(cp);
        }
        i += length;
    }
    shown = text;
    return valid ? std::optional<std::u16string>(std::move(text)) : std::nullopt;
}

// Whether the character at `end - 1` is escaped: an odd run of backslashes stands before it.
bool Escaped(std::u16string_view text, std::size_t end) {
    std::size_t backslashes = 0;
    while (end > 1 + backslashes && text[end - 2 - backslashes] == u'\\') {
        ++backslashes;
    }
    return backslashes % 2 == 1;
}

// Whether a pattern (negation and trailing '/' taken off) can match a walked path: it must have
// a name, may not end in a lone '\', and no part between slashes may be empty, "." or "..", which
// no walked path holds.
bool Understood(std::u16string_view pattern) {
    std::u16string_view rest = pattern;
    if (rest.starts_with(u'/')) {
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return false;
    }
    std::u16string part;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || rest[i] == u'/') {
            if (part.empty() || part == u"." || part == u"..") {
                return false;
            }
            part.clear();
        } else if (rest[i] == u'\\') {
            if (++i == rest.size()) {
                return false;
            }
            part += rest[i];
        } else {
            part += rest[i];
        }
    }
    return true;
}

std::u16string LineWarning(std::size_t line, std::u16string_view text) {
    return u"警告：.zelpackignore 第 " + platform::DecimalText(line) + u" 行无法理解，已忽略：" +
           std::u16string(text);
}

}  // namespace

IgnoreRules IgnoreRules::Parse(std::string_view bytes, std::vector<IgnoreWarning>& warnings) {
    IgnoreRules rules;
    bool cut = bytes.size() > kIgnoreFileMaxBytes;
    if (cut) {
        // The line cut short is left out with the rest.
        bytes = bytes.substr(0, bytes.substr(0, kIgnoreFileMaxBytes).rfind('\n') + 1);
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    std::size_t number = 0;
    while (!bytes.empty()) {
        if (++number > kIgnoreFileMaxLines) {
            cut = true;
            break;
        }
        const std::size_t end = std::min(bytes.find('\n'), bytes.size());
        std::string_view raw = bytes.substr(0, end);
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
        if (raw.ends_with('\r')) {
            raw.remove_suffix(1);
        }
        if (raw.size() > kIgnoreLineMaxLength) {
            warnings.push_back(
                {number, u"警告：.zelpackignore 第 " + platform::DecimalText(number) + u" 行超过 " +
                             platform::DecimalText(kIgnoreLineMaxLength) + u" 字节，已忽略"});
            continue;
        }
        std::u16string shown;
        std::optional<std::u16string> line = DecodeUtf8(raw, shown);
        if (!line) {
            warnings.push_back({number, LineWarning(number, shown)});
            continue;
        }
        while (!line->empty() && line->back() == u' ' && !Escaped(*line, line->size())) {
            line->pop_back();
        }
        if (line->empty() || line->starts_with(u'#')) {
            continue;
        }
        std::u16string_view pattern = *line;
        const bool negated = pattern.starts_with(u'!');
        pattern.remove_prefix(negated ? 1 : 0);
        const bool folder_only = pattern.ends_with(u'/') && !Escaped(pattern, pattern.size());
        pattern.remove_suffix(folder_only ? 1 : 0);
        PathPattern compiled(pattern, PatternSyntax::kIgnoreFile);
        if (!Understood(pattern) || !compiled.valid()) {
            warnings.push_back({number, LineWarning(number, *line)});
            continue;
        }
        rules.rules_.push_back({std::move(compiled), negated, folder_only,
                                IgnoreMatch{*line, static_cast<int>(number)}});
    }
    if (cut) {
        warnings.push_back({number, u"警告：.zelpackignore 超过 " +
                                        platform::DecimalText(kIgnoreFileMaxLines) + u" 行或 " +
                                        platform::DecimalText(kIgnoreFileMaxBytes) +
                                        u" 字节，其后的内容已忽略"});
    }
    return rules;
}

std::optional<IgnoreMatch> IgnoreRules::Match(std::u16string_view path, bool folder) const {
    for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
        if ((folder || !rule->folder_only) && rule->pattern.Matches(path)) {
            return rule->negated ? std::nullopt : std::optional<IgnoreMatch>(rule->match);
        }
    }
    return std::nullopt;
}

platform::Result<std::string> ReadIgnoreFile(std::u16string_view folder,
                                             std::u16string_view real_root) {
    const platform::Result<std::u16string> real =
        platform::RealPath(platform::JoinPath(folder, kIgnoreFileName));
    if (!real) {
        // A link that leads nowhere is no file either, as the walk leaves it out.
        if (real.error() == std::errc::no_such_file_or_directory) {
            return std::string();
        }
        return real.error();
    }
    if (!platform::IsWithin(*real, real_root)) {
        return make_error_code(platform::Errc::OutsideLink);
    }
    if (real->size() <= real_root.size()) {
        return make_error_code(platform::Errc::NotRegularFile);  // a link to the folder itself
    }
    // Opened below the folder without links, so that a name swapped for one since cannot lead
    // elsewhere; a named pipe or a device is refused without waiting for it.
    std::u16string_view relative = std::u16string_view(*real).substr(real_root.size());
    while (!relative.empty() && platform::IsPathSeparator(relative.front())) {
        relative.remove_prefix(1);
    }
    const platform::Result<platform::Subtree> tree = platform::Subtree::Open(real_root);
    if (!tree) {
        return tree.error();
    }
    platform::Result<platform::File> file = tree->OpenFile(relative, platform::LinkRule::Refuse);
    if (!file) {
        return file.error();
    }
    std::string bytes(kIgnoreFileMaxBytes + 1, '\0');
    const platform::Result<std::size_t> read =
        file->ReadFull(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
    if (!read) {
        return read.error();
    }
    bytes.resize(*read);
    return bytes;
}

std::u16string IgnoreFileUnreadableText(std::u16string_view path, const std::error_code& error) {
    return u"无法读取忽略规则文件 " + std::u16string(path) + u"：" + platform::ErrorText(error);
}

std::u16string IgnoreReason(const IgnoreMatch& match) {
    return u"忽略规则：" + match.pattern + u"（.zelpackignore 第 " +
           platform::DecimalText(static_cast<std::size_t>(match.line)) + u" 行）";
}

}  // namespace zelpack
