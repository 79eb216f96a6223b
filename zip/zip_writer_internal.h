// The archive writer's class, internal to zip/ (and its tests): callers hold it only through
// ArchiveHandle and reach it through archive.h's operations, as its state is no one else's.
//
// The writer builds one ZIP archive (no ZIP64, no multi-disk) built from entries added one at
// a time, into a file it creates, an open handle, or a block of memory.
//
// The format's limits (limits.h) are checked before anything is written for an entry, which is
// then refused with BadArguments and exceededLimit() naming the limit:
//  - a 65,536th entry (the end record counts entries in 16 bits);
//  - a name whose stored form (with a folder's slash) is longer than 259 bytes (an empty name,
//    or one holding a NUL, is refused too, with no limit named);
//  - a source whose size is known to be more than 0xFFFFFFFE bytes;
//  - an entry that, stored, would carry the archive with its central directory and end record
//    past 0xFFFFFFFF bytes (offsets and sizes are 32 bits). A deflated entry that could grow
//    past that bound or past the size limit is deflated all the same, but stored instead once
//    its compressed form passes its size; that needs a target that seeks, a source that can be
//    read again and no password, and without them the compressor's worst-case growth must fit.
// A source of unknown length that runs past the size limit fails with SizeMismatch; an archive
// that would pass 4 GiB anyway sets the sticky error WriteFailed, and no central directory is
// written for it. Both name their limit too.
//
// A write or seek on a file target that fails sets the sticky error too (the archive's byte
// count would no longer match the target), as a full memory target does. After a sticky error
// the central directory is still written, but finishing reports WriteFailed: what is out there
// cannot be a complete archive.
//
// An entry that fails after its local header went out (a source that cannot be read to its end,
// a stored stream of unknown size on a target that cannot seek) is not listed; its bytes stay.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/file.h"
#include "platform/memory.h"
#include "zip/encryption.h"
#include "zip/entry_encoder.h"
#include "zip/entry_header.h"
#include "zip/entry_source.h"
#include "zip/limits.h"
#include "zip/records.h"
#include "zip/zip_result.h"
#include "zip/zip_writer.h"

namespace zelpack::zip {

enum class TargetKind : std::uint32_t { Handle = 1, FileByName = 2, Memory = 3 };
enum class SourceKind : std::uint32_t {
    Handle = 1,
    FileByName = 2,
    Memory = 3,
    Folder = 4,
    Prepared = 5
};

struct PreparedEntry;

// Names are given wide; their stored form is the native one (UTF-8), flagged as UTF-8 only when
// it is not pure ASCII.
class ZipWriter final : private ByteSink {
  public:
    // An empty password is no password.
    explicit ZipWriter(std::string_view password);
    ~ZipWriter() override;
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // What the target is, by kind: a file path (FileByName), a platform::File* that stays the
    // caller's (Handle), or a byte block of `length` bytes, null to have the writer reserve it
    // (Memory).
    struct Target {
        std::u16string_view path{};
        platform::File* handle = nullptr;
        std::uint8_t* memory = nullptr;
    };
    ZipResult OpenTarget(const Target& target, std::uint32_t length, TargetKind kind);

    struct Source {
        std::u16string_view path{};
        platform::File* handle = nullptr;
        std::span<const std::uint8_t> memory{};
        // A prepared entry that is ready (see prepared_entry.h).
        const PreparedEntry* prepared = nullptr;
    };
    // `length` is the given length of a handle source (0: not given).
    ZipResult AddEntry(std::u16string_view entryName, const Source& source, std::uint32_t length,
                       SourceKind kind);

    ZipResult WriteCentralDirectory();
    ZipResult CloseTarget();
    // Finishes the archive. NotMemoryTarget for other targets; WriteFailed when the central
    // directory could not be written (base and length are given all the same).
    ZipResult GetTargetMemory(const std::uint8_t*& base, std::uint32_t& length);

    // Called after every read from an entry's source (see ReadObserver).
    void SetReadObserver(ReadObserver observer) { readObserver_ = std::move(observer); }

    // Every entry added from now on gets `unixSeconds` (UTC, clamped to 1980-01-01 and to the
    // 32 bits of the extended timestamp) as its DOS and extended times, whatever its source
    // says, so that an archive does not depend on when its files were written. Nothing: the
    // source's own times again.
    void SetFixedTime(std::optional<std::int64_t> unixSeconds);

    // For tests: the encryption header's random bytes come from `bytes` instead of the
    // generator, so that enciphered output can be reproduced.
    void SetFixedEncryptionBytes(std::span<const std::uint8_t, kEncryptionHeaderRandomBytes> bytes);

    // For tests: bounds below the format's, so that reaching them needs no 4 GiB of data.
    void SetLimits(const FormatLimits& limits) { limits_ = limits; }
    const FormatLimits& limits() const { return limits_; }
    // The limit the latest AddEntry ran into, or the sticky error was about; Limit::None when
    // it failed otherwise or succeeded.
    Limit exceededLimit() const { return exceeded_; }

    std::uint32_t written() const { return static_cast<std::uint32_t>(written_); }
    ZipResult stickyError() const { return stickyError_; }
    // The operating system's reason behind the sticky error, or else behind the latest failed
    // operation; empty when the failure had none (a bad argument, a full memory target).
    std::error_code systemError() const {
        return stickyError_ != Success ? stickyCause_ : lastCause_;
    }
    bool seekable() const { return seekable_; }
    std::uint32_t baseOffset() const { return baseOffset_; }
    std::size_t entryCount() const { return entries_.size(); }
    // The records of the entries added so far, in archive order.
    std::span<const EntryHeader> entries() const { return entries_; }

  private:
    std::size_t Write(std::span<const std::uint8_t> data) override { return WriteBytes(data); }

    std::size_t WriteBytes(std::span<const std::uint8_t> data);
    bool SeekTarget(std::uint32_t position);
    void SetStickyError(ZipResult code, std::error_code cause = {});

    ZipResult OpenSource(const Source& source, std::uint32_t length, SourceKind kind);
    // Whether the open source's entry fits the format's limits (limits.h), setting deflateCap_
    // for one that fits only stored; BadArguments with exceeded_ set otherwise.
    ZipResult ReserveRoom(const EntryHeader& header, std::uint32_t encryptionHeaderLength);
    // The local header's fields from the open source, once the name, method and flags are set.
    void FillHeader(EntryHeader& header, std::uint32_t encryptionHeaderLength);
    // AddEntry from the local header on.
    ZipResult StartEntry(EntryHeader& header, bool folder, std::uint32_t encryptionHeaderLength);
    // AddEntry from the encryption header on, once the local header went out.
    ZipResult FinishEntry(EntryHeader& header, bool folder, std::uint32_t encryptionHeaderLength);
    // The entry's sizes and CRC into its local header (rewritten, or followed by a data
    // descriptor), and the entry into the central directory's list.
    ZipResult CompleteEntry(EntryHeader& header, std::uint32_t encryptionHeaderLength);

    bool EncodeEntryData(EntryHeader& header);
    bool CopyPreparedData(EntryHeader& header);

    std::string password_;  // empty: none
    std::optional<platform::File> ownedOutput_;
    platform::File* output_ = nullptr;
    std::optional<platform::AnonymousMapping> mapping_;
    std::uint32_t baseOffset_ = 0;
    ZipResult stickyError_ = Success;
    std::error_code stickyCause_;
    std::error_code lastCause_;
    // 64 bits so that passing the 32-bit limit is noticed rather than wrapped.
    std::uint64_t written_ = 0;
    bool seekable_ = false;
    std::uint8_t* memory_ = nullptr;
    std::uint32_t memoryPosition_ = 0;
    std::uint32_t memoryCapacity_ = 0;
    bool finished_ = false;
    // What writing the central directory gave, whoever wrote it: EndArchive reports it also
    // when GetArchiveMemory had written the directory.
    ZipResult directoryResult_ = Success;
    bool encrypting_ = false;
    CipherKeys keys_;
    // The current entry's, made with keys_ before its local header went out.
    std::array<std::uint8_t, kEncryptionHeaderSize> encryptionHeader_{};
    std::vector<std::uint8_t> scratch_;
    std::vector<EntryHeader> entries_;
    std::uint64_t centralDirectorySize_ = 0;  // of the entries so far
    EntryEncoder encoder_;
    EntrySource source_;
    const PreparedEntry* prepared_ = nullptr;  // the entry being added, when prepared
    FormatLimits limits_;
    Limit exceeded_ = Limit::None;
    // While an entry that is deflated only as long as that is smaller than storing it is added:
    // the most compressed bytes it may take.
    std::optional<std::uint64_t> deflateCap_;
    std::uint32_t entryDataSize_ = 0;
    std::uint64_t entryDataTotal_ = 0;
    std::optional<std::array<std::uint8_t, kEncryptionHeaderRandomBytes>> fixedRandom_;
    std::optional<std::int64_t> fixedTime_;
    ReadObserver readObserver_;
};

}  // namespace zelpack::zip
