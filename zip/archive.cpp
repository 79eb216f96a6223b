#include "zip/archive.h"

#include "zip/prepared_entry.h"
#include "zip/zip_writer_internal.h"

namespace zelpack::zip {
namespace {

// The writer of a valid archive handle, null for any other.
ZipWriter* WriterOf(const ArchiveHandle* archive) {
    return IsArchiveHandle(archive) ? archive->writer.get() : nullptr;
}

ZipResult Record(ZipResult result) {
    SetMostRecentResult(result);
    return result;
}

std::unique_ptr<ArchiveHandle> Begin(const ZipWriter::Target& target, std::uint32_t length,
                                     TargetKind kind, std::string_view password,
                                     std::error_code* systemError = nullptr) {
    auto writer = std::make_unique<ZipWriter>(password);
    if (Record(writer->OpenTarget(target, length, kind)) != Success) {
        if (systemError != nullptr) {
            *systemError = writer->systemError();
        }
        return nullptr;
    }
    auto archive = std::make_unique<ArchiveHandle>();
    archive->writer = std::move(writer);
    return archive;
}

ZipResult Add(ArchiveHandle* archive, std::u16string_view entryName,
              const ZipWriter::Source& source, std::uint32_t length, SourceKind kind) {
    if (archive == nullptr) {
        return Record(BadArguments);
    }
    if (archive->kind != kArchiveHandleKind || !archive->writer) {
        return Record(WrongHandleKind);
    }
    return Record(archive->writer->AddEntry(entryName, source, length, kind));
}

}  // namespace

ArchiveHandle::ArchiveHandle() = default;
ArchiveHandle::~ArchiveHandle() = default;

std::unique_ptr<ArchiveHandle> BeginArchiveToFile(std::u16string_view path,
                                                  std::string_view password,
                                                  std::error_code* systemError) {
    return Begin({.path = path}, 0, TargetKind::FileByName, password, systemError);
}

std::unique_ptr<ArchiveHandle> BeginArchiveToHandle(platform::File& handle,
                                                    std::string_view password) {
    return Begin({.handle = &handle}, 0, TargetKind::Handle, password);
}

std::unique_ptr<ArchiveHandle> BeginArchiveInMemory(std::uint8_t* buffer, std::uint32_t capacity,
                                                    std::string_view password) {
    return Begin({.memory = buffer}, capacity, TargetKind::Memory, password);
}

ZipResult AddEntryFromFile(ArchiveHandle* archive, std::u16string_view entryName,
                           std::u16string_view sourcePath) {
    return Add(archive, entryName, {.path = sourcePath}, 0, SourceKind::FileByName);
}

ZipResult AddPreparedEntry(ArchiveHandle* archive, std::u16string_view entryName,
                           const PreparedEntry& entry) {
    return Add(archive, entryName, {.prepared = &entry}, 0, SourceKind::Prepared);
}

ZipResult AddEntryFromHandle(ArchiveHandle* archive, std::u16string_view entryName,
                             platform::File& handle, std::uint32_t length) {
    return Add(archive, entryName, {.handle = &handle}, length, SourceKind::Handle);
}

ZipResult AddEntryFromMemory(ArchiveHandle* archive, std::u16string_view entryName,
                             std::span<const std::uint8_t> data) {
    return Add(archive, entryName, {.memory = data}, 0, SourceKind::Memory);
}

ZipResult AddFolderEntry(ArchiveHandle* archive, std::u16string_view entryName) {
    return Add(archive, entryName, {}, 0, SourceKind::Folder);
}

ZipResult GetArchiveMemory(ArchiveHandle* archive, const std::uint8_t*& base,
                           std::uint32_t& length) {
    if (archive == nullptr) {
        base = nullptr;
        length = 0;
        return Record(BadArguments);
    }
    if (archive->kind != kArchiveHandleKind || !archive->writer) {
        return Record(WrongHandleKind);
    }
    return Record(archive->writer->GetTargetMemory(base, length));
}

ZipResult EndArchive(std::unique_ptr<ArchiveHandle>& archive, std::error_code* systemError) {
    if (!archive) {
        return Record(BadArguments);
    }
    if (archive->kind != kArchiveHandleKind || !archive->writer) {
        return Record(WrongHandleKind);
    }
    const ZipResult result = archive->writer->CloseTarget();
    if (systemError != nullptr) {
        *systemError = result != Success ? archive->writer->systemError() : std::error_code();
    }
    archive.reset();
    return Record(result);
}

std::error_code GetSystemError(const ArchiveHandle* archive) {
    const ZipWriter* writer = WriterOf(archive);
    return writer != nullptr ? writer->systemError() : std::error_code();
}

Limit GetExceededLimit(const ArchiveHandle* archive) {
    const ZipWriter* writer = WriterOf(archive);
    return writer != nullptr ? writer->exceededLimit() : Limit::None;
}

bool IsArchiveHandle(const ArchiveHandle* archive) {
    return archive != nullptr && archive->kind == kArchiveHandleKind;
}

void SetReadObserver(ArchiveHandle* archive, ReadObserver observer) {
    if (ZipWriter* writer = WriterOf(archive)) {
        writer->SetReadObserver(std::move(observer));
    }
}

void SetFixedTime(ArchiveHandle* archive, std::optional<std::int64_t> unixSeconds) {
    if (ZipWriter* writer = WriterOf(archive)) {
        writer->SetFixedTime(unixSeconds);
    }
}

std::span<const EntryHeader> GetEntries(const ArchiveHandle* archive) {
    const ZipWriter* writer = WriterOf(archive);
    return writer != nullptr ? writer->entries() : std::span<const EntryHeader>();
}

Limit CheckNextEntry(const ArchiveHandle* archive, std::u16string_view entryName) {
    const ZipWriter* writer = WriterOf(archive);
    const FormatLimits limits = writer != nullptr ? writer->limits() : FormatLimits{};
    if (writer != nullptr && writer->entryCount() >= limits.entries) {
        return Limit::Entries;
    }
    return AcceptsName(entryName) ? Limit::None : Limit::NameLength;
}

std::u16string DescribeLimit(const ArchiveHandle* archive, Limit limit) {
    const ZipWriter* writer = WriterOf(archive);
    return DescribeLimit(writer != nullptr ? writer->limits() : FormatLimits{}, limit);
}

}  // namespace zelpack::zip
