// The plug-in folder's ignore file, .zelpackignore: gitignore's syntax over the folder's paths,
// matched as --include and --exclude match.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "filelist/file_entry.h"
#include "filelist/path_pattern.h"
#include "platform/result.h"

namespace zelpack {

inline constexpr std::u16string_view kIgnoreFileName = u".zelpackignore";
// What is read of the file, and the longest line taken: far beyond a hand-written file, and
// small enough that a hostile one cannot make a walk crawl (every path meets every rule).
inline constexpr std::size_t kIgnoreFileMaxBytes = 64 * 1024;
inline constexpr std::size_t kIgnoreFileMaxLines = 1000;
inline constexpr std::size_t kIgnoreLineMaxLength = 1024;

// One rule per line: '#' begins a comment, '!' negates, a trailing '/' matches folders only, a
// '/' at the start or in the middle anchors the pattern to the folder (otherwise it matches a
// name at any depth), '\' makes the next character literal, "[a-z]" and "[!a-z]" match one
// character of a set or not of it, and trailing spaces not escaped are dropped. A UTF-8 byte order
// mark and CRLF line ends are taken.
// A line of the file that was left out, and the "警告：" text naming it.
struct IgnoreWarning {
    std::size_t line = 0;  // 1-based; for the cut, the first line not read
    std::u16string text;
};

class IgnoreRules {
  public:
    // Each line that cannot be understood, or is too long, is left out with a warning naming it;
    // so is everything past kIgnoreFileMaxBytes or kIgnoreFileMaxLines.
    static IgnoreRules Parse(std::string_view bytes, std::vector<IgnoreWarning>& warnings);

    bool empty() const { return rules_.empty(); }
    // The rule that decides `path` ('/'-separated, relative to the folder; `folder`: the path is
    // one): the last that matches. None when no rule matches or that one is a negation. A file
    // below a folder that is left out cannot be taken back: the caller asks for the folders first.
    std::optional<IgnoreMatch> Match(std::u16string_view path, bool folder) const;

  private:
    struct Rule {
        PathPattern pattern;
        bool negated;
        bool folder_only;
        IgnoreMatch match;
    };
    std::vector<Rule> rules_;
};

// The bytes of `folder`'s ignore file, at most kIgnoreFileMaxBytes + 1 of them; none when there is
// no such file. Links are followed only within `real_root` (the folder, links resolved): rules
// from elsewhere on the machine would decide unseen what is packed, and their lines would be
// echoed in warnings. Anything but a regular file fails, a named pipe without waiting for it.
platform::Result<std::string> ReadIgnoreFile(std::u16string_view folder,
                                             std::u16string_view real_root);

// "无法读取忽略规则文件 PATH：REASON".
std::u16string IgnoreFileUnreadableText(std::u16string_view path, const std::error_code& error);

// "忽略规则：PATTERN（.zelpackignore 第 N 行）".
std::u16string IgnoreReason(const IgnoreMatch& match);

}  // namespace zelpack
