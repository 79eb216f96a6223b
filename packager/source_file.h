// Opening a selected file for packing, and making sure that what is read is the file the walk
// recorded: not another one swapped in by a link or a rename, not one that changed meanwhile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "filelist/file_entry.h"
#include "platform/file.h"
#include "platform/listing.h"

namespace zelpack {

// How a selected file may be reached.
enum class LinkUse {
    None,     // the walk passed no link on its way: a link there now was swapped in, and refused
    Allowed,  // the walk passed one: it is followed, and the file must be the one it led to
    Unknown,  // no walk (paths alone): tried without links first, then as Allowed
};

// Why the file `now` describes is not the one `listed` describes, as the words in the run's
// message (大小从 A 字节变为 B 字节, 修改时间变了, 换成了另一个文件); nothing when it is the same.
std::optional<std::u16string> Difference(const platform::FindData& listed,
                                         const platform::FindData& now);

// "PATH 在打包过程中发生了变化（WHAT）".
std::u16string ChangedMessage(std::u16string_view path, std::u16string_view what);

// Opens `entry` (cFileName relative to the folder of `tree`) for reading. On failure either
// `change` says what changed since the walk (a link in its place, another file, another size), or
// it stays empty and the result's error is the system's reason the file could not be opened.
// The file is refused also when it is the archive being replaced (`archive`, when known).
platform::Result<platform::File> OpenSelected(const platform::Subtree& tree, const FileEntry& entry,
                                              LinkUse links, const platform::FileId& archive,
                                              std::u16string& change);

// After the file was read to its end (`bytes_read` bytes): what changed while it was read, if
// anything; nothing when it is still the file `entry` describes.
std::optional<std::u16string> ChangeWhileRead(const platform::File& file, const FileEntry& entry,
                                              std::uint64_t bytes_read);

}  // namespace zelpack
