// Paths as text: trimming, making absolute, resolving links, and where temporary files go.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace zelpack::platform {

// The separator between a folder and a name in a native path.
inline constexpr char16_t kPathSeparator = u'/';

// `path` without the separators it ends in; a root stays itself ("/").
std::u16string_view WithoutTrailingSeparators(std::u16string_view path);

// The last component of `path`, trailing separators ignored; empty for a root.
std::u16string_view LastComponent(std::u16string_view path);

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
