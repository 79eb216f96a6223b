#include "zip/entry_source.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/listing.h"
#include "zip/crc32.h"
#include "zip/dos_time.h"

namespace zelpack::zip {

namespace {

std::uint32_t LoadLittle(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// Reads `count` bytes at `offset` as a little-endian value; nothing when fewer arrive.
std::optional<std::uint32_t> ReadValueAt(platform::File& file, std::uint64_t offset,
                                         std::size_t count) {
    std::array<std::uint8_t, 4> bytes{};
    const std::span<std::uint8_t> wanted(bytes.data(), count);
    if (!file.Seek(static_cast<std::int64_t>(offset), platform::SeekOrigin::Begin)) {
        return std::nullopt;
    }
    const platform::Result<std::size_t> got = file.ReadFull(wanted);
    if (!got || *got != count) {
        return std::nullopt;
    }
    return LoadLittle(wanted);
}

}  // namespace

bool IsExecutableImage(platform::File& file, std::uint64_t size) {
    constexpr std::uint32_t kMz = 0x5A4D, kNe = 0x454E, kLe = 0x454C, kPe = 0x4550;
    if (size <= 40) {
        return false;
    }
    const std::optional<std::uint32_t> signature = ReadValueAt(file, 0, 2);
    const std::optional<std::uint32_t> header = ReadValueAt(file, 60, 4);
    if (!signature || !header || *signature != kMz || std::uint64_t{*header} + 52 >= size) {
        return false;
    }
    const std::optional<std::uint32_t> image = ReadValueAt(file, *header, 4);
    return image && (*image == kMz || *image == kNe || *image == kLe || *image == kPe);
}

void EntrySource::ClearSource() {
    sourceHandle = nullptr;
    ownedFile.reset();
    ownsSource = false;
    sourceMemory = {};
    sourceMemoryPosition = 0;
    sourceCrc = 0;
    sourceSize = 0;
    sourceBytesRead = 0;
    sourceError = Success;
    sourceSystemError.clear();
}

ZipResult EntrySource::OpenSourceFile(std::u16string_view path) {
    ClearSource();
    if (path.empty()) {
        return BadArguments;
    }
    platform::Result<platform::File> file = platform::File::OpenForReading(path);
    if (!file) {
        sourceSystemError = file.error();
        return OpenFailed;
    }
    ownedFile = std::move(*file);
    const ZipResult result = OpenSourceHandle(&*ownedFile, 0);
    if (result != Success) {
        const std::error_code cause = sourceSystemError;
        ClearSource();
        sourceSystemError = cause;
        return result;
    }
    // OpenSourceHandle cleared the fields but not the file it was handed.
    ownsSource = true;
    return Success;
}

ZipResult EntrySource::OpenSourceHandle(platform::File* handle, std::uint32_t length) {
    // Keep a file opened by OpenSourceFile alive across the common start.
    std::optional<platform::File> keep;
    if (handle != nullptr && ownedFile && handle == &*ownedFile) {
        keep = std::move(ownedFile);
        handle = &*keep;
    }
    ClearSource();
    if (handle == nullptr || !handle->IsOpen()) {
        return BadArguments;
    }
    if (keep) {
        ownedFile = std::move(keep);
        handle = &*ownedFile;
    }
    if (handle->Seek(0, platform::SeekOrigin::Current)) {
        const ZipResult info = GetSourceFileInfo(*handle);
        if (info != Success) {
            return info;
        }
        if (const auto start = handle->Seek(0, platform::SeekOrigin::Begin); !start) {
            sourceSystemError = start.error();
            return OpenFailed;
        }
    } else {
        sourceAttributes = kUnixRegular;
        sourceSize = length != 0 ? std::int64_t{length} : -1;
        StampCurrentTime();
    }
    sourceHandle = handle;
    return Success;
}

ZipResult EntrySource::OpenSourceMemory(std::span<const std::uint8_t> data) {
    ClearSource();
    if (data.data() == nullptr || data.empty()) {
        return BadArguments;
    }
    sourceMemory = data;
    sourceAttributes = kUnixRegular;
    sourceSize = static_cast<std::int64_t>(data.size());
    StampCurrentTime();
    return Success;
}

ZipResult EntrySource::OpenSourceFolder() {
    ClearSource();
    sourceAttributes = kFolderAttributes;
    sourceSize = 0;
    StampCurrentTime();
    return Success;
}

std::size_t EntrySource::ReadSource(std::span<std::uint8_t> buffer) {
    std::size_t count = 0;
    if (sourceMemory.data() != nullptr) {
        count = std::min(buffer.size(), sourceMemory.size() - sourceMemoryPosition);
        if (count > 0) {
            std::memcpy(buffer.data(), sourceMemory.data() + sourceMemoryPosition, count);
        }
        sourceMemoryPosition += count;
    } else if (sourceHandle != nullptr) {
        const platform::Result<std::size_t> got = sourceHandle->ReadFull(buffer);
        if (!got) {
            sourceError = ReadFailed;
            sourceSystemError = got.error();
            return 0;
        }
        count = *got;
    } else {
        sourceError = NotInitialised;
        return 0;
    }
    sourceBytesRead += count;
    sourceCrc = Crc32Update(sourceCrc, buffer.first(count));
    return count;
}

std::size_t EntrySource::ReadEntryData(
    std::span<std::uint8_t> buffer, const std::function<bool(std::uint64_t bytesRead)>& observer) {
    if (sourceBytesRead > kMaxEntrySize) {
        return 0;
    }
    const std::size_t count = ReadSource(buffer);
    if (sourceBytesRead > kMaxEntrySize) {
        return 0;
    }
    if (count != 0 && observer && !observer(sourceBytesRead)) {
        sourceError = ReadFailed;
        return 0;
    }
    return count;
}

bool EntrySource::CanRewind() const {
    return sourceMemory.data() != nullptr ||
           (sourceHandle != nullptr && sourceHandle->Seek(0, platform::SeekOrigin::Current));
}

bool EntrySource::Rewind() {
    if (sourceMemory.data() != nullptr) {
        sourceMemoryPosition = 0;
    } else if (sourceHandle == nullptr || !sourceHandle->Seek(0, platform::SeekOrigin::Begin)) {
        return false;
    }
    sourceBytesRead = 0;
    sourceCrc = 0;
    sourceError = Success;
    sourceSystemError.clear();
    return true;
}

void EntrySource::CloseSource() {
    sourceHandle = nullptr;
    ownedFile.reset();
    ownsSource = false;
    sourceMemory = {};
    sourceSize = static_cast<std::int64_t>(sourceBytesRead);
}

ZipResult EntrySource::GetSourceFileInfo(platform::File& handle) {
    const platform::Result<platform::FindData> record = platform::QueryOpenFile(handle);
    if (!record) {
        sourceSystemError = record.error();
        return OpenFailed;
    }
    const std::uint64_t size = platform::FileSizeOf(*record);
    const std::uint32_t dos = record->dwFileAttributes & (kDosReadOnly | kDosHidden | kDosSystem |
                                                          kDosDirectory | kDosArchive);
    std::uint32_t attributes = dos | kUnixOwnerRead;
    attributes |= (dos & kDosDirectory) != 0 ? kUnixDirectory : kUnixRegular;
    if ((dos & kDosReadOnly) == 0) {
        attributes |= kUnixOwnerWrite;
    }
    if ((dos & kDosDirectory) == 0 && IsExecutableImage(handle, size)) {
        attributes |= kUnixOwnerExecute;
    }
    sourceAttributes = attributes;
    sourceSize = static_cast<std::int64_t>(size);
    sourceAccessTime = FileTimeToUnixTime(record->ftLastAccessTime);
    sourceWriteTime = FileTimeToUnixTime(record->ftLastWriteTime);
    sourceCreateTime = FileTimeToUnixTime(record->ftCreationTime);
    sourceDosDateTime = PackDosDateTime(FileTimeToDosDateTime(record->ftLastWriteTime));
    return Success;
}

void EntrySource::StampCurrentTime() {
    platform::FileTime now = 0;
    if (!platform::SystemTimeToFileTime(platform::GetLocalTime(), now)) {
        now = platform::kUnixEpochAsFileTime;
    }
    sourceDosDateTime = PackDosDateTime(FileTimeToDosDateTime(now));
    sourceAccessTime = sourceWriteTime = sourceCreateTime = FileTimeToUnixTime(now);
}

}  // namespace zelpack::zip
