// An entry's data made ahead of the archive, on any thread: the file read, checked and
// compressed (or kept as it is, for a stored entry) into memory, with what its headers need.
// The bytes come from the writer's own entry encoder (entry_encoder.h), so an archive built from
// prepared entries is byte for byte the one built entry by entry.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "zip/entry_encoder.h"
#include "zip/entry_source.h"
#include "zip/zip_writer.h"

namespace zelpack::zip {

struct PreparedEntry {
    // True: `data` holds the entry's data. False: the entry is left to the writer, because the
    // file is larger than the caller wanted held in memory or because reading it failed (so that
    // the writer meets the failure itself, as it would alone).
    bool ready = false;
    // Closed after reading: attributes, times, the size seen at opening, the CRC and count read.
    EntrySource source;
    std::vector<std::uint8_t> data;
    // The flag bits the compressor set for the entry.
    std::uint16_t deflateFlags = 0;
};

// One per thread: prepares entries one after another with its own compressor state.
class EntryPreparer {
  public:
    EntryPreparer();
    ~EntryPreparer();
    EntryPreparer(const EntryPreparer&) = delete;
    EntryPreparer& operator=(const EntryPreparer&) = delete;

    // Reads `source` (open, from its start, left open) for entry `entryName` into `entry`,
    // unless the file is larger than `maxBytes`. `observer` sees every read as the writer's would
    // (false stops it).
    void Prepare(std::u16string_view entryName, platform::File& source, std::uint64_t maxBytes,
                 const ReadObserver& observer, PreparedEntry& entry);

  private:
    EntryEncoder encoder_;
};

}  // namespace zelpack::zip
