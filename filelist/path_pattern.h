// Shell-style patterns over relative paths: the packing request's --include and --exclude, and the
// rules of a plug-in folder's ignore file.
#pragma once

#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace zelpack {

// How a pattern is written.
enum class PatternSyntax {
    kOption,      // --include and --exclude: only '*', '?' and '**' are special
    kIgnoreFile,  // also '\' before a literal character, and bracket expressions
};

// A pattern made once and matched against many paths (relative, '/'-separated). A pattern
// without '/' matches the file name in any folder; one with '/' matches the whole path (a leading
// '/' only anchors it). '*' matches any run and '?' any one character, neither crossing '/'; '**'
// crosses it, and "**/" also matches no folder at all. In an ignore file's syntax '\' makes the
// character after it literal, and "[abc]", "[a-z]", "[!a-z]" (or "[^a-z]") match one character
// of the set, or not of it, never '/'.
//
// The work of one match is bounded by pattern length times path length whatever the pattern.
class PathPattern {
  public:
    explicit PathPattern(std::u16string_view pattern,
                         PatternSyntax syntax = PatternSyntax::kOption);
    bool Matches(std::u16string_view path) const;
    // False for a bracket expression without its ']', or with a character class ("[[:alpha:]]"),
    // which are not taken: such a pattern matches nothing.
    bool valid() const { return valid_; }

  private:
    // A '**' is two steps: where it starts, which may skip the slash of a "**/" that matches no
    // folder, and the run it matches.
    enum class Token : char { Literal, One, Run, DeepStart, Deep, Set };
    struct Step {
        Token token;
        char16_t c;       // for Token::Literal
        std::size_t set;  // for Token::Set, in sets_
    };
    struct Set {
        bool negated = false;
        std::vector<std::pair<char16_t, char16_t>> ranges;
        bool Contains(char16_t c) const;
    };

    // The bracket expression opening at pattern[open], as a step; the position after its ']', or
    // npos when it cannot be taken.
    std::size_t AddSet(std::u16string_view pattern, std::size_t open);
    void Close(std::span<char> live) const;
    bool MatchWhole(std::u16string_view text) const;

    std::vector<Step> steps_;
    std::vector<Set> sets_;
    bool whole_path_ = false;  // the pattern holds a '/'
    bool valid_ = true;
};

// PathPattern(pattern).Matches(path), for --include and --exclude.
bool MatchesPathPattern(std::u16string_view pattern, std::u16string_view path);

}  // namespace zelpack
