// The archive writer's public operations. Each one but IsArchiveHandle stores its result as the
// process-wide MostRecentResult before returning. The writer behind a handle is opaque
// (zip_writer.h): callers reach it only through the functions here, as a compression library's
// callers reach its context.
//
// Typical use: BeginArchiveToFile, AddEntryFromFile for every file, EndArchive, success when it
// returns 0. EndArchive reports WriteFailed also when an earlier write failed (the sticky error),
// since the archive then cannot be complete.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file.h"
#include "zip/entry_header.h"
#include "zip/limits.h"
#include "zip/zip_result.h"
#include "zip/zip_writer.h"

namespace zelpack::zip {

inline constexpr std::uint32_t kArchiveHandleKind = 2;

struct PreparedEntry;

struct ArchiveHandle {
    // Out of line, where the writer is a complete type.
    ArchiveHandle();
    ~ArchiveHandle();
    ArchiveHandle(const ArchiveHandle&) = delete;
    ArchiveHandle& operator=(const ArchiveHandle&) = delete;

    std::uint32_t kind = kArchiveHandleKind;  // any other value is a handle of another kind
    std::unique_ptr<ZipWriter> writer;
};

// Null on failure; MostRecentResult says why, and `systemError`, when given, the operating
// system's reason. An empty password is no password.
std::unique_ptr<ArchiveHandle> BeginArchiveToFile(std::u16string_view path,
                                                  std::string_view password = {},
                                                  std::error_code* systemError = nullptr);
// `handle` stays the caller's and must outlive the archive. Written from its current position
// when it can seek (that position is then added to every offset), as a stream otherwise.
std::unique_ptr<ArchiveHandle> BeginArchiveToHandle(platform::File& handle,
                                                    std::string_view password = {});
// Into `buffer` (null: memory the writer reserves) of `capacity` bytes, of which the archive
// may use capacity - 1.
std::unique_ptr<ArchiveHandle> BeginArchiveInMemory(std::uint8_t* buffer, std::uint32_t capacity,
                                                    std::string_view password = {});

ZipResult AddEntryFromFile(ArchiveHandle* archive, std::u16string_view entryName,
                           std::u16string_view sourcePath);
// `length` matters only for a handle that cannot seek; 0 means not given.
ZipResult AddEntryFromHandle(ArchiveHandle* archive, std::u16string_view entryName,
                             platform::File& handle, std::uint32_t length = 0);
ZipResult AddEntryFromMemory(ArchiveHandle* archive, std::u16string_view entryName,
                             std::span<const std::uint8_t> data);
ZipResult AddFolderEntry(ArchiveHandle* archive, std::u16string_view entryName);
// The entry's data as prepared ahead (prepared_entry.h); BadArguments for one that is not ready,
// which the caller adds from its file instead.
ZipResult AddPreparedEntry(ArchiveHandle* archive, std::u16string_view entryName,
                           const PreparedEntry& entry);

// Finishes the archive (no entries can follow) and gives its bytes, valid until EndArchive.
ZipResult GetArchiveMemory(ArchiveHandle* archive, const std::uint8_t*& base,
                           std::uint32_t& length);

// Finishes and releases the archive; `archive` is reset whenever it was a valid handle.
// `systemError`, when given, receives the operating system's reason for a failure.
ZipResult EndArchive(std::unique_ptr<ArchiveHandle>& archive,
                     std::error_code* systemError = nullptr);

// The operating system's reason for the archive's latest failure (a file that could not be
// opened or read, a write to a full disk); empty when there is none.
std::error_code GetSystemError(const ArchiveHandle* archive);

// The format's limit the archive's latest failure ran into (limits.h); Limit::None when there is
// none or the handle is not an archive's.
Limit GetExceededLimit(const ArchiveHandle* archive);

bool IsArchiveHandle(const ArchiveHandle* archive);

// The functions below are ignored for a handle that is not an archive's (or give what an empty
// archive would), and do not change MostRecentResult.

// Watches the reads of every later entry's source (see ReadObserver).
void SetReadObserver(ArchiveHandle* archive, ReadObserver observer);

// Every entry added from now on gets `unixSeconds` (UTC, clamped to 1980-01-01 and to 32 bits)
// as its times, whatever its source says; nothing: the source's own times again.
void SetFixedTime(ArchiveHandle* archive, std::optional<std::int64_t> unixSeconds);

// The records of the entries added so far, in archive order; valid until the next operation.
std::span<const EntryHeader> GetEntries(const ArchiveHandle* archive);

// The limit an entry named `entryName` would pass before any of its data is looked at: the
// archive's count of entries, then the name's length; Limit::None when neither.
Limit CheckNextEntry(const ArchiveHandle* archive, std::u16string_view entryName);

// DescribeLimit with the bounds the archive keeps to.
std::u16string DescribeLimit(const ArchiveHandle* archive, Limit limit);

}  // namespace zelpack::zip
