// Paths as text: trimming, making absolute, resolving links, and where temporary files go.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace zelpack::platform {

// The separator between a folder and a name in a native path. Windows also takes '/'.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

constexpr bool IsPathSeparator(char16_t c) {
    return c == kPathSeparator || c == u'/';
}

// Where the last separator of `path` stands; npos when there is none.
std::size_t LastSeparator(std::u16string_view path);

// `path` with the native separators turned into '/', the form archives and scripts use.
std::u16string PortablePath(std::u16string_view path);

// `path` without the separators it ends in; a root stays itself ("/").
std::u16string_view WithoutTrailingSeparators(std::u16string_view path);

// The last component of `path`, trailing separators ignored; empty for a root (also a drive,
// "C:" or "C:\\", on Windows).
std::u16string_view LastComponent(std::u16string_view path);

// The folder holding `path`, "." when it has none.
std::u16string FolderOf(std::u16string_view path);

// `folder` + one separator + `name`, however many separators `folder` ends in.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Whether `path` is `folder` or lies below it, compared textually component by component; both
// should be absolute and free of "." and ".." segments (as RealPath gives them).
bool IsWithin(std::u16string_view path, std::u16string_view folder);

// `path` made absolute against the current folder, with "." and ".." segments and repeated
// separators resolved textually (links are not followed).
Result<std::u16string> AbsolutePath(std::u16string_view path);

// The absolute path of what `path` leads to, every link on the way resolved; fails when it does
// not exist.
Result<std::u16string> RealPath(std::u16string_view path);

// The system's folder for temporary files ($TMPDIR, else /tmp), without a trailing separator.
std::u16string TemporaryFolder();

}  // namespace zelpack::platform
