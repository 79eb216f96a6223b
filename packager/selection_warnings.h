// What a user should hear about the files chosen for an archive before they are packed, and about
// the walk that found them: never a reason to refuse them, unless the front end is asked to be
// strict. Also why a walked file starts unticked.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_entry.h"
#include "packager/notice.h"

namespace zelpack {

// Files over this size are named: a plug-in rarely needs one, and it slows every install.
inline constexpr std::uint64_t kLargeFileWarningSize = 50ull * 1024 * 1024;

// One "警告：" notice per finding, in selection order, paths relative with '/': ticked files that
// look like keys or credentials, paths that differ only in letter case (one overwrites the other
// on Windows), names Windows cannot hold, archives (an earlier pack under another name, often),
// and files over kLargeFileWarningSize. `selection` holds
// the walk's records, relative paths in cFileName, as PluginPackager::Pack takes them: their sizes
// are the walk's, nothing is looked up again.
// Codes: "secret", "zip_archive", "windows_name" (with "problem"), "case_clash" (with "other",
// the path first met) and "large_file" (with "size"); each with "path".
std::vector<Notice> SelectionWarnings(std::span<const FileEntry> selection);
// The same for paths relative to `folder`, each looked up now.
std::vector<Notice> SelectionWarnings(std::u16string_view folder,
                                      std::span<const std::u16string> selection);

// Why a walked file starts unticked: "编译输出标记：lib" (code "mark" with "mark", the
// build-output mark its path holds), "指向插件文件夹以外的链接" ("outside_link") or
// "上次打包的压缩包" ("previous_archive") or "忽略规则：PATTERN（.zelpackignore 第 N 行）"
// ("ignore", with "pattern" as written and "line"); no code when it starts ticked.
Notice DefaultUntick(const FileEntry& entry);
// Its text alone.
std::u16string DefaultUntickReason(const FileEntry& entry);

// "无法列出文件夹 sub：Permission denied" and the like, for an entry whose error is set.
std::u16string UnreadableText(const FileEntry& entry);

// The warning about it: code "unreadable" with "path" and "error", the system error's name.
Notice UnreadableWarning(const FileEntry& entry);

// The warning about a link to a folder outside the plug-in folder, which the walk did not follow:
// code "unfollowed_link" with "path".
Notice UnfollowedLinkWarning(std::u16string_view link);

}  // namespace zelpack
