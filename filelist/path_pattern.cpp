#include "filelist/path_pattern.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zelpack {

PathPattern::PathPattern(std::u16string_view pattern, PatternSyntax syntax) {
    const bool ignore_file = syntax == PatternSyntax::kIgnoreFile;
    whole_path_ = pattern.find(u'/') != std::u16string_view::npos;
    if (pattern.starts_with(u'/')) {
        pattern.remove_prefix(1);
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (ignore_file && pattern[i] == u'\\' && i + 1 < pattern.size()) {
            steps_.push_back({Token::Literal, pattern[++i], 0});
        } else if (ignore_file && pattern[i] == u'[') {
            i = AddSet(pattern, i);
            if (i == std::u16string_view::npos) {
                valid_ = false;
                return;
            }
            --i;
        } else if (pattern.substr(i).starts_with(u"**")) {
            steps_.push_back({Token::DeepStart, 0, 0});
            steps_.push_back({Token::Deep, 0, 0});
            ++i;
        } else if (pattern[i] == u'*') {
            steps_.push_back({Token::Run, 0, 0});
        } else if (pattern[i] == u'?') {
            steps_.push_back({Token::One, 0, 0});
        } else {
            steps_.push_back({Token::Literal, pattern[i], 0});
        }
    }
}

std::size_t PathPattern::AddSet(std::u16string_view pattern, std::size_t open) {
    Set set;
    std::size_t i = open + 1;
    if (i < pattern.size() && (pattern[i] == u'!' || pattern[i] == u'^')) {
        set.negated = true;
        ++i;
    }
    // A ']' first is one of the set's characters.
    for (bool first = true; i < pattern.size() && (first || pattern[i] != u']'); first = false) {
        if (pattern.substr(i).starts_with(u"[:")) {
            return std::u16string_view::npos;
        }
        if (pattern[i] == u'\\' && i + 1 < pattern.size()) {
            ++i;
        }
        const char16_t low = pattern[i++];
        char16_t high = low;
        if (i + 1 < pattern.size() && pattern[i] == u'-' && pattern[i + 1] != u']') {
            i += pattern[i + 1] == u'\\' && i + 2 < pattern.size() ? 2 : 1;
            high = pattern[i++];
        }
        set.ranges.emplace_back(low, high);
    }
    if (i >= pattern.size()) {
        return std::u16string_view::npos;
    }
    steps_.push_back({Token::Set, 0, sets_.size()});
    sets_.push_back(std::move(set));
    return i + 1;
}

bool PathPattern::Set::Contains(char16_t c) const {
    const bool in = std::any_of(ranges.begin(), ranges.end(), [c](const auto& range) {
        return range.first <= c && c <= range.second;
    });
    return in != negated;
}

// Adds to `live` every step reachable from a live one without consuming a character: past a
// '*' or '**' that matches nothing, and past the slash of a "**/" that matches no folder. Moves
// only go forward, so one pass in order reaches them all.
void PathPattern::Close(std::span<char> live) const {
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        if (!live[i]) {
            continue;
        }
        switch (steps_[i].token) {
            case Token::DeepStart:
                live[i + 1] = 1;
                if (i + 2 < steps_.size() && steps_[i + 2].token == Token::Literal &&
                    steps_[i + 2].c == u'/') {
                    live[i + 3] = 1;
                }
                break;
            case Token::Run:
            case Token::Deep:
                live[i + 1] = 1;
                break;
            default:
                break;
        }
    }
}

// All the positions the pattern can be at are followed together, one character at a time, so
// the work is bounded by pattern length times text length whatever the pattern: trying each
// way a '*' could match in turn grows exponentially with the number of stars.
bool PathPattern::MatchWhole(std::u16string_view text) const {
    // Most patterns are short: their positions fit on the stack, and an ignore file's many rules
    // cost no allocation per path.
    constexpr std::size_t kShort = 64;
    std::array<char, 2 * kShort> small{};
    std::vector<char> large;
    const std::size_t size = steps_.size() + 1;
    if (size > kShort) {
        large.assign(2 * size, 0);
    }
    std::span<char> live(size > kShort ? large.data() : small.data(), size);
    std::span<char> next(live.data() + size, size);
    live[0] = 1;
    Close(live);
    for (const char16_t c : text) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (std::size_t i = 0; i < steps_.size(); ++i) {
            if (!live[i]) {
                continue;
            }
            const Step& step = steps_[i];
            switch (step.token) {
                case Token::Literal:
                    next[i + 1] |= static_cast<char>(step.c == c);
                    break;
                case Token::One:
                    next[i + 1] |= static_cast<char>(c != u'/');
                    break;
                case Token::Set:
                    next[i + 1] |= static_cast<char>(c != u'/' && sets_[step.set].Contains(c));
                    break;
                case Token::Run:
                    next[i] |= static_cast<char>(c != u'/');
                    break;
                case Token::Deep:
                    next[i] = 1;
                    break;
                case Token::DeepStart:
                    break;
            }
            any = any || next[i] || next[i + 1];
        }
        if (!any) {
            return false;
        }
        std::swap(live, next);
        Close(live);
    }
    return live[steps_.size()] != 0;
}

bool PathPattern::Matches(std::u16string_view path) const {
    if (!valid_) {
        return false;
    }
    if (!whole_path_) {
        const std::size_t slash = path.rfind(u'/');
        return MatchWhole(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
    }
    return MatchWhole(path);
}

bool MatchesPathPattern(std::u16string_view pattern, std::u16string_view path) {
    return PathPattern(pattern).Matches(path);
}

}  // namespace zelpack
