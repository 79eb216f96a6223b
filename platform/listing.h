// Folder listings that behave like an NTFS listing on every platform.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file.h"
#include "platform/filetime.h"
#include "platform/result.h"

namespace zelpack::platform {

// Windows attribute bits, as the records carry them.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;       // the owner may not write
inline constexpr std::uint32_t kAttributeDirectory = 0x10;      // a folder
inline constexpr std::uint32_t kAttributeArchive = 0x20;        // set on every regular file
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;  // a symbolic link, followed
// dwReserved0 of a reparse point: what kind it is.
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;

// Identity of a file or folder on disk, the same for every path (link or not) that leads to it:
// device and inode on POSIX, volume serial number and file index on Windows. All zero: not known.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
    bool Known() const { return device != 0 || inode != 0; }
};
using FolderId = FileId;

// One listing record. Hidden and system bits are never set; the short name stays zero. A symbolic
// link is described by what it leads to, with the reparse-point bit and tag added. The name
// field is not capped at 259 units: callers decide what fits.
struct FindData {
    std::uint32_t dwFileAttributes = 0;
    FileTime ftCreationTime = 0;  // birth time where the kernel gives it, else last write
    FileTime ftLastAccessTime = 0;
    FileTime ftLastWriteTime = 0;
    std::uint32_t nFileSizeHigh = 0;  // folders have size 0
    std::uint32_t nFileSizeLow = 0;
    std::uint32_t dwReserved0 = 0;
    std::uint32_t dwReserved1 = 0;
    std::u16string cFileName;
    std::array<char16_t, 14> cAlternateFileName{};
    // What the record describes (a link: what it leads to). Unknown where the file system gives
    // none to a listing (on Windows the folder is asked once for all its names).
    FileId id{};
};

inline std::uint64_t FileSizeOf(const FindData& record) {
    return (std::uint64_t{record.nFileSizeHigh} << 32) | record.nFileSizeLow;
}

// One open listing. Move-only; closes itself when destroyed.
class FindHandle {
  public:
    FindHandle();
    FindHandle(FindHandle&&) noexcept;
    FindHandle& operator=(FindHandle&&) noexcept;
    ~FindHandle();

    bool IsValid() const { return state_ != nullptr; }
    // The listed folder.
    FolderId Folder() const;
    // Why the record last handed out holds only its name: the entry is there but its status
    // could not be read. Empty for a whole record.
    std::error_code RecordError() const;

  private:
    struct State;
    std::unique_ptr<State> state_;

    friend Result<FindHandle> FindFirstFile(std::u16string_view, FindData&,
                                            std::span<const FolderId>);
    friend bool FindNextFile(FindHandle&, FindData&);
    friend void FindClose(FindHandle&);
};

// Opens the listing that `search_path` names: a folder path, a separator and a pattern ("*.*" and
// "*" match every name; otherwise '*' and '?' are wildcards, compared without regard to case).
// Fills `record` with the first entry and returns the handle; fails with the reason when the
// folder cannot be listed, also when reading it fails part of the way, and when nothing matches.
//
// Order: "." and ".." first, then the entries sorted by name as NTFS sorts them (UTF-16 units
// compared after upper-casing, ties broken by the exact units), so a walk is the same everywhere.
// Only regular files and folders are listed; symbolic links are followed and a broken link is left
// out. A folder entry that leads to the listed folder itself or to one in `enclosing` (the folders
// above it on the caller's walk) is a cycle and left out.
Result<FindHandle> FindFirstFile(std::u16string_view search_path, FindData& record,
                                 std::span<const FolderId> enclosing = {});

// Fills `record` with the next entry; false when the listing is exhausted.
bool FindNextFile(FindHandle& handle, FindData& record);

// Closes the listing; the handle becomes invalid.
void FindClose(FindHandle& handle);

// The record of the file or folder at `path` (links followed), with its bare name; fails when
// there is no such regular file or folder.
Result<FindData> QueryFile(std::u16string_view path);

// The record of an open file or folder, with an empty name; fails when the handle is closed or
// is neither a regular file nor a folder (a device, for instance).
Result<FindData> QueryOpenFile(const File& file);

}  // namespace zelpack::platform
