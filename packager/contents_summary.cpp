#include "packager/contents_summary.h"

#include <algorithm>
#include <map>

#include "platform/path.h"

namespace zelpack {

namespace {

void Add(ContentsRow& row, const ContentsRow& part) {
    row.entries += part.entries;
    row.size += part.size;
    row.size_known = row.size_known || part.size_known;
    row.packed =
        row.packed && part.packed ? std::optional(*row.packed + *part.packed) : std::nullopt;
    row.stored += part.stored;
}

}  // namespace

ContentsSummary SummarizeContents(std::u16string_view prefix,
                                  std::span<const ContentsEntry> entries,
                                  std::optional<std::uint64_t> archive_size) {
    const std::u16string folder = platform::PortablePath(prefix);
    ContentsSummary summary;
    std::map<std::u16string, ContentsRow> rows;
    for (const ContentsEntry& entry : entries) {
        std::u16string path = platform::PortablePath(entry.name);
        if (path.starts_with(folder)) {
            path.erase(0, folder.size());
        }
        const std::size_t slash = path.find(u'/');
        const std::u16string name =
            slash == std::u16string::npos ? path : path.substr(0, slash + 1);
        ContentsRow& row =
            rows.try_emplace(name, ContentsRow{.name = name, .packed = 0}).first->second;
        Add(row, {.entries = 1,
                  .size = entry.size.value_or(0),
                  .size_known = entry.size.has_value(),
                  .packed = entry.packed,
                  .stored = entry.stored ? 1u : 0u});
        if (entry.size && *entry.size > kLargeFileMarkSize) {
            summary.large_files.push_back({path, *entry.size});
        }
    }
    for (auto& [name, row] : rows) {
        summary.rows.push_back(std::move(row));
    }
    std::stable_sort(summary.rows.begin(), summary.rows.end(),
                     [](const ContentsRow& a, const ContentsRow& b) { return a.size > b.size; });
    summary.total = SumRows(summary.rows, {});
    if (archive_size && summary.total.packed && *archive_size >= *summary.total.packed) {
        summary.structure = *archive_size - *summary.total.packed;
        summary.total.packed = archive_size;
    }
    return summary;
}

ContentsRow SumRows(std::span<const ContentsRow> rows, std::u16string name) {
    ContentsRow sum{.name = std::move(name), .packed = 0};
    for (const ContentsRow& row : rows) {
        Add(sum, row);
    }
    return sum;
}

}  // namespace zelpack
