#include <algorithm>
#include <cstring>

#include "platform/filetime.h"
#include "platform/text.h"
#include "zip/dos_time.h"
#include "zip/prepared_entry.h"
#include "zip/zip_writer_internal.h"

namespace zelpack::zip {
namespace {

constexpr std::uint32_t kNoSize = 0xFFFFFFFF;

// Upper bound of the deflate stream for `size` input bytes. No block comes out larger than its
// fixed-code form, which spends at most 9 bits on a byte and a few more on the block's ends.
std::uint64_t DeflateBound(std::uint64_t size) {
    return size + size / 8 + 1024;
}

// ASCII letters only: the extensions compared against are ASCII.
bool EqualsIgnoringCase(std::string_view text, std::string_view lowerPattern) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::equal(text.begin(), text.end(), lowerPattern.begin(), lowerPattern.end(),
                      [&](char a, char b) { return lower(a) == b; });
}

}  // namespace

ZipWriter::ZipWriter(std::string_view password) : password_(password) {}

ZipWriter::~ZipWriter() = default;

void ZipWriter::SetStickyError(ZipResult code, std::error_code cause) {
    if (stickyError_ == Success) {
        stickyError_ = code;
        stickyCause_ = cause;
    }
}

void ZipWriter::SetFixedTime(std::optional<std::int64_t> unixSeconds) {
    constexpr std::int64_t k1980 = 315'532'800;  // 1980-01-01 00:00:00 UTC, the DOS epoch
    constexpr std::int64_t kLast = 0xFFFF'FFFF;
    fixedTime_ = unixSeconds ? std::optional(std::clamp(*unixSeconds, k1980, kLast)) : std::nullopt;
}

void ZipWriter::SetFixedEncryptionBytes(
    std::span<const std::uint8_t, kEncryptionHeaderRandomBytes> bytes) {
    fixedRandom_.emplace();
    std::copy(bytes.begin(), bytes.end(), fixedRandom_->begin());
}

ZipResult ZipWriter::OpenTarget(const Target& target, std::uint32_t length, TargetKind kind) {
    if (output_ != nullptr || mapping_ || memory_ != nullptr || written_ != 0 ||
        stickyError_ != Success || finished_) {
        return NotInitialised;
    }
    switch (kind) {
        case TargetKind::FileByName: {
            platform::Result<platform::File> file = platform::File::CreateAlways(target.path);
            if (!file) {
                lastCause_ = file.error();
                return OpenFailed;
            }
            ownedOutput_ = std::move(*file);
            output_ = &*ownedOutput_;
            seekable_ = true;
            baseOffset_ = 0;
            return Success;
        }
        case TargetKind::Handle: {
            if (target.handle == nullptr || !target.handle->IsOpen()) {
                return BadArguments;
            }
            const platform::Result<std::uint64_t> position =
                target.handle->Seek(0, platform::SeekOrigin::Current);
            // Every offset in the archive includes where it starts, in 32 bits.
            if (position && *position >= limits_.archiveSize) {
                return BadArguments;
            }
            output_ = target.handle;
            seekable_ = position.has_value();
            baseOffset_ = position ? static_cast<std::uint32_t>(*position) : 0;
            return Success;
        }
        case TargetKind::Memory: {
            if (length == 0) {
                return MemoryTooSmall;
            }
            std::uint8_t* memory = target.memory;
            if (memory == nullptr) {
                mapping_ = platform::AnonymousMapping::Reserve(length);
                if (!mapping_) {
                    return NoMemory;
                }
                memory = mapping_->bytes().data();
            }
            memory_ = memory;
            memoryPosition_ = 0;
            memoryCapacity_ = length;
            seekable_ = true;
            return Success;
        }
    }
    return BadArguments;
}

std::size_t ZipWriter::WriteBytes(std::span<const std::uint8_t> data) {
    if (encrypting_) {
        if (scratch_.size() < data.size()) {
            scratch_.resize(data.size());
        }
        std::copy(data.begin(), data.end(), scratch_.begin());
        data = std::span(scratch_).first(data.size());
        EncipherBytes(keys_, std::span(scratch_).first(data.size()));
    }
    if (memory_ != nullptr) {
        // One byte of the capacity always stays free.
        if (std::uint64_t{memoryPosition_} + data.size() >= memoryCapacity_) {
            SetStickyError(MemoryTooSmall);
            return 0;
        }
        if (!data.empty()) {
            std::memcpy(memory_ + memoryPosition_, data.data(), data.size());
        }
        memoryPosition_ += static_cast<std::uint32_t>(data.size());
        return data.size();
    }
    if (output_ != nullptr) {
        if (const platform::Status written = output_->WriteAll(data); !written) {
            SetStickyError(WriteFailed, written.error());
            return 0;
        }
        return data.size();
    }
    SetStickyError(NotInitialised);
    return 0;
}

bool ZipWriter::SeekTarget(std::uint32_t position) {
    if (!seekable_) {
        SetStickyError(NotSeekable);
        return false;
    }
    if (memory_ != nullptr) {
        if (position >= memoryCapacity_) {
            SetStickyError(MemoryTooSmall);
            return false;
        }
        memoryPosition_ = position;
        return true;
    }
    if (output_ != nullptr) {
        const std::int64_t absolute = std::int64_t{baseOffset_} + position;
        if (const auto moved = output_->Seek(absolute, platform::SeekOrigin::Begin); !moved) {
            SetStickyError(NotSeekable, moved.error());
            return false;
        }
        return true;
    }
    SetStickyError(NotInitialised);
    return false;
}

bool IsStoredEntry(std::u16string_view entryName) {
    std::u16string slashed(entryName);
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    return IsStoredExtension(platform::EncodeArchiveName(slashed).bytes);
}

bool IsStoredExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view extension = name.substr(dot);
    for (std::string_view stored : {".z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"}) {
        if (EqualsIgnoringCase(extension, stored)) {
            return true;
        }
    }
    return false;
}

ZipResult ZipWriter::OpenSource(const Source& source, std::uint32_t length, SourceKind kind) {
    switch (kind) {
        case SourceKind::FileByName:
            return source_.OpenSourceFile(source.path);
        case SourceKind::Handle:
            return source_.OpenSourceHandle(source.handle, length);
        case SourceKind::Memory:
            return source_.OpenSourceMemory(source.memory);
        case SourceKind::Folder:
            return source_.OpenSourceFolder();
        case SourceKind::Prepared:
            if (source.prepared == nullptr || !source.prepared->ready) {
                return BadArguments;
            }
            // What the file said when it was opened; the data is in memory. An empty memory
            // source starts every other field afresh.
            source_.OpenSourceMemory({});
            prepared_ = source.prepared;
            source_.sourceAttributes = prepared_->source.sourceAttributes;
            source_.sourceAccessTime = prepared_->source.sourceAccessTime;
            source_.sourceWriteTime = prepared_->source.sourceWriteTime;
            source_.sourceCreateTime = prepared_->source.sourceCreateTime;
            source_.sourceDosDateTime = prepared_->source.sourceDosDateTime;
            source_.sourceSize = prepared_->source.sourceSize;
            return Success;
    }
    return BadArguments;
}

ZipResult ZipWriter::AddEntry(std::u16string_view entryName, const Source& source,
                              std::uint32_t length, SourceKind kind) {
    if (stickyError_ != Success) {
        return PreviousError;
    }
    if (finished_) {
        return AlreadyEnded;
    }
    lastCause_.clear();
    exceeded_ = Limit::None;
    prepared_ = nullptr;
    deflateCap_.reset();
    const bool folder = kind == SourceKind::Folder;
    const bool enciphered = !password_.empty() && !folder;
    const std::uint32_t encryptionHeaderLength = enciphered ? kEncryptionHeaderSize : 0;

    // A name must be stored unchanged, so one the field cannot hold whole is refused.
    if (entryName.empty() || entryName.find(u'\0') != std::u16string_view::npos) {
        return BadArguments;
    }
    if (entries_.size() >= limits_.entries) {
        exceeded_ = Limit::Entries;
        return BadArguments;
    }
    // Separators are turned in the wide name: in a code page such as 936 a byte 0x5C may be the
    // second half of a character.
    std::u16string slashed(entryName);
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    const platform::ArchiveName stored = platform::EncodeArchiveName(slashed);
    EntryHeader header;
    if (!SetEntryName(header, stored.bytes, folder)) {
        exceeded_ = Limit::NameLength;
        return BadArguments;
    }
    const std::string_view storedName(header.name.data(), header.nameLength);
    header.method =
        folder || IsStoredExtension(storedName) ? record::kMethodStored : record::kMethodDeflated;

    const ZipResult opened = OpenSource(source, length, kind);
    if (opened != Success) {
        lastCause_ = source_.sourceSystemError;
        return opened;
    }
    if (const ZipResult fits = ReserveRoom(header, encryptionHeaderLength); fits != Success) {
        source_.CloseSource();
        return fits;
    }
    header.flags = record::kFlagDataDescriptor | (enciphered ? record::kFlagEncrypted : 0);
    if (stored.utf8 && NeedsUtf8Flag(storedName)) {
        header.flags |= record::kFlagUtf8Name;
    }
    FillHeader(header, encryptionHeaderLength);
    return StartEntry(header, folder, encryptionHeaderLength);
}

ZipResult ZipWriter::ReserveRoom(const EntryHeader& header, std::uint32_t encryptionHeaderLength) {
    const bool sizeKnown = source_.sourceSize >= 0;
    const std::uint64_t size = sizeKnown ? static_cast<std::uint64_t>(source_.sourceSize) : 0;
    // The most data the entry may come to: a prepared entry's is known, a deflated one may grow.
    const std::uint64_t storedBound = encryptionHeaderLength + size;
    const std::uint64_t worst = prepared_ != nullptr
                                    ? encryptionHeaderLength + prepared_->data.size()
                                    : (header.method == record::kMethodStored
                                           ? storedBound
                                           : encryptionHeaderLength + DeflateBound(size));
    const EntryFit fit =
        FitEntry(limits_, std::uint64_t{baseOffset_} + written_, centralDirectorySize_,
                 {.headers = EntryOverhead(header.nameLength),
                  .stored = storedBound,
                  .worst = worst,
                  .exact = prepared_ != nullptr});
    if (fit.passed == Limit::None) {
        return Success;
    }
    // Stored it fits: deflated it may not, and is stored instead once it would not.
    const bool canStoreInstead = fit.onlyStored && prepared_ == nullptr &&
                                 header.method == record::kMethodDeflated && sizeKnown &&
                                 seekable_ && encryptionHeaderLength == 0 && source_.CanRewind();
    if (!canStoreInstead) {
        exceeded_ = fit.passed;
        return BadArguments;
    }
    deflateCap_ = size;
    return Success;
}

void ZipWriter::FillHeader(EntryHeader& header, std::uint32_t encryptionHeaderLength) {
    if (fixedTime_) {
        source_.sourceDosDateTime =
            PackDosDateTime(FileTimeToDosDateTime(platform::FileTimeFromUnix(*fixedTime_)));
        source_.sourceAccessTime = source_.sourceWriteTime = source_.sourceCreateTime = *fixedTime_;
    }
    const bool sizeKnown = source_.sourceSize >= 0;
    const auto size = static_cast<std::uint32_t>(sizeKnown ? source_.sourceSize : 0);
    header.dosDateTime = source_.sourceDosDateTime;
    header.crc = 0;
    header.compressedSize =
        header.method == record::kMethodStored && sizeKnown ? size + encryptionHeaderLength : 0;
    header.uncompressedSize = sizeKnown ? size : kNoSize;
    header.localFlags = header.flags;
    header.externalAttributes = source_.sourceAttributes;
    header.localHeaderOffset = static_cast<std::uint32_t>(written_ + baseOffset_);
    header.localExtra =
        MakeLocalExtra(source_.sourceWriteTime, source_.sourceAccessTime, source_.sourceCreateTime);
    header.centralExtra = MakeCentralExtra(header.localExtra);
}

ZipResult ZipWriter::StartEntry(EntryHeader& header, bool folder,
                                std::uint32_t encryptionHeaderLength) {
    if (encryptionHeaderLength != 0) {
        // Drawn before anything of the entry goes out, so that a generator that fails leaves
        // the archive as it was; never from bytes the generator did not give.
        const auto dosTime = static_cast<std::uint16_t>(header.dosDateTime & 0xFFFF);
        platform::Result<std::array<std::uint8_t, kEncryptionHeaderSize>> made =
            fixedRandom_ ? MakeEncryptionHeader(keys_, password_, dosTime, *fixedRandom_)
                         : MakeEncryptionHeader(keys_, password_, dosTime);
        if (!made) {
            source_.CloseSource();
            lastCause_ = made.error();
            return WriteFailed;
        }
        encryptionHeader_ = *made;
    }
    if (!WriteLocalHeader(*this, header)) {
        source_.CloseSource();
        return WriteFailed;
    }
    written_ += LocalHeaderSize(header);
    if (stickyError_ != Success) {
        source_.CloseSource();
        return stickyError_;
    }
    return FinishEntry(header, folder, encryptionHeaderLength);
}

ZipResult ZipWriter::FinishEntry(EntryHeader& header, bool folder,
                                 std::uint32_t encryptionHeaderLength) {
    const bool enciphered = encryptionHeaderLength != 0;
    if (enciphered) {
        if (WriteBytes(encryptionHeader_) != encryptionHeader_.size()) {
            source_.CloseSource();
            return WriteFailed;
        }
        written_ += kEncryptionHeaderSize;
        encrypting_ = true;
    }

    entryDataSize_ = 0;
    entryDataTotal_ = 0;
    bool produced = true;
    if (prepared_ != nullptr) {
        produced = CopyPreparedData(header);
    } else if (!folder) {
        produced = EncodeEntryData(header);
    }
    encrypting_ = false;
    const ZipResult sourceError = source_.sourceError;
    lastCause_ = source_.sourceSystemError;
    source_.CloseSource();
    written_ += entryDataSize_;

    // Past the format's limits the bytes out there can never be a valid archive.
    if (stickyError_ == Success) {
        const Limit passed = PassedAfterData(
            limits_, entryDataTotal_ + encryptionHeaderLength,
            std::uint64_t{baseOffset_} + written_,
            record::kDataDescriptorSize + CentralHeaderSize(header), centralDirectorySize_);
        if (passed != Limit::None) {
            exceeded_ = passed;
            SetStickyError(WriteFailed);
        }
    }
    if (stickyError_ != Success) {
        return stickyError_;
    }
    if (sourceError != Success) {
        return sourceError;
    }
    if (!produced) {
        return WriteFailed;
    }
    if (source_.sourceBytesRead > limits_.entrySize) {
        exceeded_ = Limit::EntrySize;
        return SizeMismatch;
    }
    return CompleteEntry(header, encryptionHeaderLength);
}

ZipResult ZipWriter::CompleteEntry(EntryHeader& header, std::uint32_t encryptionHeaderLength) {
    const bool sizeAsAnnounced = header.compressedSize == entryDataSize_ + encryptionHeaderLength;
    header.crc = source_.sourceCrc;
    header.compressedSize = entryDataSize_ + encryptionHeaderLength;
    header.uncompressedSize = static_cast<std::uint32_t>(source_.sourceBytesRead);

    if (seekable_ && encryptionHeaderLength == 0) {
        header.flags &= ~record::kFlagDataDescriptor;
        header.localFlags = header.flags;
        if (!SeekTarget(header.localHeaderOffset - baseOffset_)) {
            return NotSeekable;
        }
        if (!WriteLocalHeader(*this, header)) {
            return WriteFailed;
        }
        if (!SeekTarget(static_cast<std::uint32_t>(written_))) {
            return NotSeekable;
        }
    } else {
        if (header.method == record::kMethodStored && !sizeAsAnnounced) {
            return ChangeNotAllowed;
        }
        if (!WriteDataDescriptor(*this, header)) {
            return WriteFailed;
        }
        written_ += record::kDataDescriptorSize;
        header.flags = header.localFlags;
    }
    if (stickyError_ != Success) {
        return stickyError_;
    }
    entries_.push_back(header);
    centralDirectorySize_ += CentralHeaderSize(header);
    return Success;
}

bool ZipWriter::EncodeEntryData(EntryHeader& header) {
    // A stream that runs past what a size field holds ends; FinishEntry refuses it.
    const bool deflated = header.method == record::kMethodDeflated;
    EncodedData encoded = encoder_.Encode(source_, deflated, *this, readObserver_, deflateCap_);
    if (encoded.capReached) {
        // Deflated, the entry would pass a limit that it keeps to stored: it is written again
        // from its start, over the compressed bytes, which were fewer than its own.
        header.method = record::kMethodStored;
        if (!source_.Rewind()) {
            source_.sourceError = ReadFailed;
            return false;
        }
        if (!SeekTarget(static_cast<std::uint32_t>(written_))) {
            return false;
        }
        encoded = encoder_.Encode(source_, false, *this, readObserver_);
    } else {
        header.flags |= encoded.flags;
    }
    entryDataSize_ = static_cast<std::uint32_t>(encoded.size);
    entryDataTotal_ = encoded.handed;
    return encoded.complete;
}

bool ZipWriter::CopyPreparedData(EntryHeader& header) {
    const PreparedEntry& entry = *prepared_;
    prepared_ = nullptr;
    if (header.method == record::kMethodDeflated) {
        header.flags |= entry.deflateFlags;
    }
    source_.sourceCrc = entry.source.sourceCrc;
    source_.sourceBytesRead = entry.source.sourceBytesRead;
    const std::size_t accepted = WriteBytes(entry.data);
    entryDataSize_ = static_cast<std::uint32_t>(accepted);
    entryDataTotal_ = entry.data.size();
    return accepted == entry.data.size();
}

ZipResult ZipWriter::WriteCentralDirectory() {
    // Once a write went wrong the bytes out there no longer match the offsets; the directory is
    // still written for what it is worth, but the archive is not reported complete.
    const bool intact = stickyError_ == Success;
    const std::uint64_t start = written_;
    if (!ArchiveHasRoom(limits_, std::uint64_t{baseOffset_} + start, 0, centralDirectorySize_)) {
        exceeded_ = Limit::ArchiveSize;
        entries_.clear();
        return WriteFailed;
    }
    bool ok = true;
    for (const EntryHeader& header : entries_) {
        ok = ok && WriteCentralHeader(*this, header);
        written_ += CentralHeaderSize(header);
    }
    const auto count = static_cast<std::uint32_t>(entries_.size());
    entries_.clear();
    if (ok) {
        ok = WriteEndRecord(*this, count, static_cast<std::uint32_t>(written_ - start),
                            static_cast<std::uint32_t>(start + baseOffset_));
        written_ += record::kEndRecordSize;
    }
    return ok && intact ? Success : WriteFailed;
}

ZipResult ZipWriter::CloseTarget() {
    if (!finished_) {
        directoryResult_ = WriteCentralDirectory();
    }
    finished_ = true;
    ZipResult result = directoryResult_;
    mapping_.reset();
    memory_ = nullptr;
    if (ownedOutput_) {
        // A close can report a late write error (delayed allocation, network file systems).
        if (const platform::Status closed = ownedOutput_->Close(); !closed && result == Success) {
            result = WriteFailed;
            lastCause_ = closed.error();
        }
        ownedOutput_.reset();
    }
    output_ = nullptr;
    return result;
}

ZipResult ZipWriter::GetTargetMemory(const std::uint8_t*& base, std::uint32_t& length) {
    if (!finished_) {
        directoryResult_ = WriteCentralDirectory();
    }
    finished_ = true;
    base = memory_;
    length = static_cast<std::uint32_t>(written_);
    // An archive whose directory could not be written is no archive, also in memory.
    return memory_ == nullptr ? NotMemoryTarget : directoryResult_;
}

}  // namespace zelpack::zip
