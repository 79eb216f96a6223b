#include "zip/limits.h"

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
