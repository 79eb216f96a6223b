#include "zip/limits.h"

#include <algorithm>

#include "platform/text.h"
#include "zip/entry_header.h"
#include "zip/records.h"

namespace zelpack::zip {

std::uint64_t FormatLimits::Bound(Limit limit) const {
    switch (limit) {
        case Limit::Entries:
            return entries;
        case Limit::NameLength:
            return kMaxNameLength;
        case Limit::EntrySize:
            return entrySize;
        case Limit::ArchiveSize:
            return archiveSize;
        case Limit::None:
            break;
    }
    return 0;
}

std::uint64_t EntryOverhead(std::size_t nameLength) {
    return record::kLocalHeaderFixedSize + nameLength + record::kLocalExtraSize +
           record::kDataDescriptorSize + record::kCentralHeaderFixedSize + nameLength +
           record::kCentralExtraSize;
}

bool ArchiveHasRoom(const FormatLimits& limits, std::uint64_t position, std::uint64_t pending,
                    std::uint64_t directorySize) {
    return position + pending + directorySize + record::kEndRecordSize <= limits.archiveSize;
}

bool AcceptsName(std::u16string_view entryName, bool folder) {
    if (entryName.empty() || entryName.find(u'\0') != std::u16string_view::npos) {
        return false;
    }
    std::u16string slashed(entryName);
    std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
    EntryHeader header;
    return SetEntryName(header, platform::EncodeArchiveName(slashed).bytes, folder);
}

EntryFit FitEntry(const FormatLimits& limits, std::uint64_t position, std::uint64_t directorySize,
                  const EntryBounds& entry) {
    if (entry.stored > limits.entrySize || (entry.exact && entry.worst > limits.entrySize)) {
        return {.passed = Limit::EntrySize};
    }
    if (entry.worst <= limits.entrySize &&
        ArchiveHasRoom(limits, position, entry.headers + entry.worst, directorySize)) {
        return {};
    }
    if (!ArchiveHasRoom(limits, position, entry.headers + entry.stored, directorySize)) {
        return {.passed = Limit::ArchiveSize};
    }
    return {.passed = entry.worst > limits.entrySize ? Limit::EntrySize : Limit::ArchiveSize,
            .onlyStored = true};
}

Limit PassedAfterData(const FormatLimits& limits, std::uint64_t dataSize, std::uint64_t position,
                      std::uint64_t trailer, std::uint64_t directorySize) {
    if (dataSize > limits.entrySize) {
        return Limit::EntrySize;
    }
    if (!ArchiveHasRoom(limits, position, trailer, directorySize)) {
        return Limit::ArchiveSize;
    }
    return Limit::None;
}

LimitForecast::LimitForecast(std::u16string_view firstName, const FormatLimits& limits)
    : limits_(limits), least_(EntryOverhead(platform::EncodeArchiveName(firstName).bytes.size())) {}

Limit LimitForecast::Add(std::u16string_view entryName, std::uint64_t size) {
    if (entries_ >= limits_.entries) {
        return Limit::Entries;
    }
    if (!AcceptsName(entryName)) {
        return Limit::NameLength;
    }
    if (size > limits_.entrySize) {
        return Limit::EntrySize;
    }
    const std::uint64_t overhead =
        EntryOverhead(platform::EncodeArchiveName(entryName).bytes.size());
    if (!ArchiveHasRoom(limits_, least_, overhead + size, 0)) {
        return Limit::ArchiveSize;
    }
    least_ += overhead - record::kDataDescriptorSize;
    ++entries_;
    return Limit::None;
}

std::u16string DescribeLimit(const FormatLimits& limits, Limit limit) {
    std::u16string bound;
    for (const char c : std::to_string(limits.Bound(limit))) {
        bound += static_cast<char16_t>(c);
    }
    switch (limit) {
        case Limit::Entries:
            return u"条目数超过 ZIP 格式的上限 " + bound + u" 个（不使用 ZIP64）";
        case Limit::NameLength:
            return u"条目名称超过上限 " + bound + u" 字节";
        case Limit::EntrySize:
            return u"超过 ZIP 格式的单个文件上限 " + bound + u" 字节（不使用 ZIP64）";
        case Limit::ArchiveSize:
            return u"压缩包会超过 ZIP 格式的上限 " + bound + u" 字节（不使用 ZIP64）";
        case Limit::None:
            break;
    }
    return {};
}

}  // namespace zelpack::zip
