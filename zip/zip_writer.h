// The archive writer as code outside zip/ sees it: an opaque ZipWriter, owned by an
// ArchiveHandle and driven through archive.h's operations, and the rules about entries that
// callers ask ahead (which names an archive holds, which entries are stored). The class itself
// is in zip_writer_internal.h, for zip/ and its tests only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace zelpack::zip {

class ZipWriter;

// The size of the buffer an entry's data passes through on its way to the archive.
inline constexpr std::size_t kWriterBufferSize = 16384;

// Called after every read from an entry's source with the entry's bytes read so far, for
// progress and cancellation: returning false ends the entry as a failed read (ReadFailed).
using ReadObserver = std::function<bool(std::uint64_t bytesRead)>;

// Whether a file whose stored name is `name` is stored rather than deflated: an extension of an
// archive or compressed format, compared ignoring ASCII case.
bool IsStoredExtension(std::string_view name);
// Whether the entry `entryName` of a file is stored rather than deflated.
bool IsStoredEntry(std::u16string_view entryName);

}  // namespace zelpack::zip
