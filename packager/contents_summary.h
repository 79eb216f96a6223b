// What went into an archive, by its top-level folders and files: the rows of the table a run
// shows after packing (or rehearsing), and the large files named after it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelpack {

// Files over this size are marked: each one slows every install of the plug-in.
inline constexpr std::uint64_t kLargeFileMarkSize = 10ull * 1024 * 1024;
// The table's rows before the rest are summed into one.
inline constexpr std::size_t kContentsRowsShown = 15;

// One entry of the archive, made or to come.
struct ContentsEntry {
    std::u16string name;                // inside the archive, with the plug-in's folder
    std::optional<std::uint64_t> size;  // unknown for the descriptor of a rehearsal
    std::optional<std::uint64_t> packed;
    bool stored = false;  // kept as it is rather than deflated
};

// A top-level folder ("lib/") or file, or a sum of them.
struct ContentsRow {
    std::u16string name{};
    std::uint64_t entries = 0;
    std::uint64_t size = 0;               // of the entries whose size is known
    bool size_known = false;              // any entry's
    std::optional<std::uint64_t> packed;  // known only when every entry's is
    std::uint64_t stored = 0;             // entries kept as they are
};

struct LargeFile {
    std::u16string path;  // below the plug-in's folder, with '/'
    std::uint64_t size = 0;
};

struct ContentsSummary {
    std::vector<ContentsRow> rows;  // biggest first, ties by name
    ContentsRow total;              // of every row
    // The archive's own records (headers, central directory): its size less the entries' packed
    // sizes; known once it is written.
    std::optional<std::uint64_t> structure;
    std::vector<LargeFile> large_files;  // over kLargeFileMarkSize, in archive order
};

// `prefix` is the plug-in's folder as the entries' names begin with it; `archive_size` the size
// of the archive written, when it was. The total's packed size is then the archive's size.
ContentsSummary SummarizeContents(std::u16string_view prefix,
                                  std::span<const ContentsEntry> entries,
                                  std::optional<std::uint64_t> archive_size);

// The rows as one, named `name`.
ContentsRow SumRows(std::span<const ContentsRow> rows, std::u16string name);

}  // namespace zelpack
