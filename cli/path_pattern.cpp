#include "cli/path_pattern.h"

namespace zelpack {

namespace {

bool Match(std::u16string_view pattern, std::u16string_view text) {
    while (!pattern.empty()) {
        if (pattern.starts_with(u"**")) {
            std::u16string_view rest = pattern.substr(2);
            if (rest.starts_with(u'/') && Match(rest.substr(1), text)) {
                return true;
            }
            for (std::size_t skip = 0; skip <= text.size(); ++skip) {
                if (Match(rest, text.substr(skip))) {
                    return true;
                }
            }
            return false;
        }
        if (pattern[0] == u'*') {
            const std::u16string_view rest = pattern.substr(1);
            for (std::size_t skip = 0; skip <= text.size(); ++skip) {
                if (Match(rest, text.substr(skip))) {
                    return true;
                }
                if (skip < text.size() && text[skip] == u'/') {
                    break;
                }
            }
            return false;
        }
        if (text.empty() || (pattern[0] == u'?' ? text[0] == u'/' : pattern[0] != text[0])) {
            return false;
        }
        pattern.remove_prefix(1);
        text.remove_prefix(1);
    }
    return text.empty();
}

}  // namespace

bool MatchesPathPattern(std::u16string_view pattern, std::u16string_view path) {
    if (pattern.find(u'/') == std::u16string_view::npos) {
        const std::size_t slash = path.rfind(u'/');
        return Match(pattern, slash == std::u16string_view::npos ? path : path.substr(slash + 1));
    }
    if (pattern.starts_with(u'/')) {
        pattern.remove_prefix(1);
    }
    return Match(pattern, path);
}

}  // namespace zelpack
