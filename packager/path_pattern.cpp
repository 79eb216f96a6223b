#include "packager/path_pattern.h"

#include <algorithm>
#include <vector>

namespace zelpack {

namespace {

// A '**' is two steps: where it starts, which may skip the slash of a "**/" that matches no
// folder, and the run it matches.
enum class Token : char16_t { Literal, One, Run, DeepStart, Deep };

struct Step {
    Token token;
    char16_t c;  // for Token::Literal
};

std::vector<Step> Compile(std::u16string_view pattern) {
    std::vector<Step> steps;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.substr(i).starts_with(u"**")) {
            steps.push_back({Token::DeepStart, 0});
            steps.push_back({Token::Deep, 0});
            ++i;
        } else if (pattern[i] == u'*') {
            steps.push_back({Token::Run, 0});
        } else if (pattern[i] == u'?') {
            steps.push_back({Token::One, 0});
        } else {
            steps.push_back({Token::Literal, pattern[i]});
        }
    }
    return steps;
}

// Adds to `live` every step reachable from a live one without consuming a character: past a
// '*' or '**' that matches nothing, and past the slash of a "**/" that matches no folder. Moves
// only go forward, so one pass in order reaches them all.
void Close(const std::vector<Step>& steps, std::vector<char>& live) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (!live[i]) {
            continue;
        }
        switch (steps[i].token) {
            case Token::DeepStart:
                live[i + 1] = 1;
                if (i + 2 < steps.size() && steps[i + 2].token == Token::Literal &&
                    steps[i + 2].c == u'/') {
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
bool Match(std::u16string_view pattern, std::u16string_view text) {
    const std::vector<Step> steps = Compile(pattern);
    std::vector<char> live(steps.size() + 1, 0);
    std::vector<char> next(steps.size() + 1, 0);
    live[0] = 1;
    Close(steps, live);
    for (const char16_t c : text) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (!live[i]) {
                continue;
            }
            const Step& step = steps[i];
            switch (step.token) {
                case Token::Literal:
                    next[i + 1] |= static_cast<char>(step.c == c);
                    break;
                case Token::One:
                    next[i + 1] |= static_cast<char>(c != u'/');
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
        live.swap(next);
        Close(steps, live);
    }
    return live[steps.size()] != 0;
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
