// Shell-style patterns over relative paths: the packing request's --include and --exclude, and the
// rules of a plug-in folder's ignore file.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace zelpack {

// A pattern made once and matched against many paths (relative, '/'-separated). A pattern
// without '/' matches the file name in any folder; one with '/' matches the whole path (a leading
// '/' only anchors it). '*' matches any run and '?' any one character, neither crossing '/'; '**'
// crosses it, and "**/" also matches no folder at all. With `escapes`, '\' makes the character
// after it literal; otherwise no other character is special.
//
// The work of one match is bounded by pattern length times path length whatever the pattern.
class PathPattern {
  public:
    explicit PathPattern(std::u16string_view pattern, bool escapes = false);
    bool Matches(std::u16string_view path) const;

  private:
    // A '**' is two steps: where it starts, which may skip the slash of a "**/" that matches no
    // folder, and the run it matches.
    enum class Token : char { Literal, One, Run, DeepStart, Deep };
    struct Step {
        Token token;
        char16_t c;  // for Token::Literal
    };

    void Close(std::span<char> live) const;
    bool MatchWhole(std::u16string_view text) const;

    std::vector<Step> steps_;
    bool whole_path_ = false;  // the pattern holds a '/'
};

// PathPattern(pattern).Matches(path), for --include and --exclude.
bool MatchesPathPattern(std::u16string_view pattern, std::u16string_view path);

}  // namespace zelpack
