// Where an entry's bytes come from: a file by name, an open handle, a memory block, or nothing
// for a folder entry. Opening fixes what the headers say; reading keeps the CRC-32 and count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "platform/file.h"
#include "zip/limits.h"
#include "zip/zip_result.h"

namespace zelpack::zip {

// External attribute bits: MS-DOS attributes low, a Unix mode in the upper 16 bits.
inline constexpr std::uint32_t kDosReadOnly = 0x01;
inline constexpr std::uint32_t kDosHidden = 0x02;
inline constexpr std::uint32_t kDosSystem = 0x04;
inline constexpr std::uint32_t kDosDirectory = 0x10;
inline constexpr std::uint32_t kDosArchive = 0x20;
inline constexpr std::uint32_t kUnixDirectory = 0x40000000;  // octal 040000 << 16
inline constexpr std::uint32_t kUnixRegular = 0x80000000;    // octal 100000 << 16
inline constexpr std::uint32_t kUnixOwnerRead = 0x01000000;
inline constexpr std::uint32_t kUnixOwnerWrite = 0x00800000;
inline constexpr std::uint32_t kUnixOwnerExecute = 0x00400000;
inline constexpr std::uint32_t kFolderAttributes =
    kUnixDirectory | kUnixOwnerRead | kUnixOwnerWrite | kUnixOwnerExecute | kDosDirectory;

// True for an MZ image whose new-header offset (at 60) leads to an MZ, NE, LE or PE signature
// followed by two zero bytes. Leaves `file` positioned anywhere.
bool IsExecutableImage(platform::File& file, std::uint64_t size);

// One source at a time, reused from entry to entry. The writer resets its own count of entry
// data bytes when it opens a source.
struct EntrySource {
    // sourceHandle may point into ownedFile, so a source stays where it was made.
    EntrySource() = default;
    EntrySource(const EntrySource&) = delete;
    EntrySource& operator=(const EntrySource&) = delete;

    std::uint32_t sourceAttributes = 0;
    std::int64_t sourceAccessTime = 0;
    std::int64_t sourceWriteTime = 0;
    std::int64_t sourceCreateTime = 0;
    std::uint32_t sourceDosDateTime = 0;
    // Anticipated size, the full 64 bits so that 4 GiB and more is seen before anything is
    // written; -1 when a stream's length was not given. After CloseSource: the bytes read.
    std::int64_t sourceSize = 0;
    // 64-bit so that a stream running past 4 GiB is noticed rather than wrapped.
    std::uint64_t sourceBytesRead = 0;
    std::uint32_t sourceCrc = 0;
    // Non-owning; points at ownedFile for a file opened by name.
    platform::File* sourceHandle = nullptr;
    bool ownsSource = false;
    std::span<const std::uint8_t> sourceMemory;
    std::size_t sourceMemoryPosition = 0;
    // Success while reading goes well; ReadFailed after a failed read (the entry must fail, not
    // end short), NotInitialised after a read with no source.
    ZipResult sourceError = Success;
    // The operating system's reason when opening or reading the source failed.
    std::error_code sourceSystemError;

    std::optional<platform::File> ownedFile;

    ZipResult OpenSourceFile(std::u16string_view path);
    // `length` is used only for a handle that cannot be repositioned; 0 means not given.
    ZipResult OpenSourceHandle(platform::File* handle, std::uint32_t length);
    ZipResult OpenSourceMemory(std::span<const std::uint8_t> data);
    ZipResult OpenSourceFolder();

    // Up to buffer.size() bytes; 0 at the end and on failure (then sourceError says which).
    std::size_t ReadSource(std::span<std::uint8_t> buffer);
    // ReadSource for an entry's data: ends once past what a size field holds (the writer refuses
    // the entry then), and after each read asks `observer`, whose false fails the read.
    std::size_t ReadEntryData(std::span<std::uint8_t> buffer,
                              const std::function<bool(std::uint64_t bytesRead)>& observer);
    void CloseSource();

    // Whether reading can start over (a memory block, a handle that seeks), and starting it over:
    // the CRC-32, the count and any read error afresh.
    bool CanRewind() const;
    bool Rewind();

    // Attributes, size and times of an open, repositionable handle.
    ZipResult GetSourceFileInfo(platform::File& handle);
    // The local wall clock, taken as if it were UTC, in all four time fields.
    void StampCurrentTime();

  private:
    void ClearSource();
};

}  // namespace zelpack::zip
