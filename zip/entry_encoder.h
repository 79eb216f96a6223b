// An entry's data, made from its source: read through, deflated or stored as it is, and handed
// to a sink, with the CRC-32 and count kept by the source. The archive writer encodes every entry
// with it straight into the archive, and EntryPreparer ahead of the archive into memory, so both
// produce the same bytes with the same compression level.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "deflate/deflate.h"
#include "zip/entry_source.h"
#include "zip/records.h"
#include "zip/zip_writer.h"

namespace zelpack::zip {

// The compressor's level for every deflated entry.
inline constexpr int kDeflateLevel = 8;

// What encoding one entry gave.
struct EncodedData {
    // Bytes of the entry's data: the compressor's count for a deflated entry (exact even when
    // the sink failed), the bytes the sink took for a stored one.
    std::uint64_t size = 0;
    // Bytes handed to the sink, taken or not.
    std::uint64_t handed = 0;
    // The flag bits the compressor sets for the entry (0 when stored).
    std::uint16_t flags = 0;
    // False when the compressor failed a consistency check or the sink did not take a stored
    // entry's bytes; a read error is the source's to tell.
    bool complete = true;
    // Deflating stopped at the cap: nothing past it reached the sink, and the entry is to be
    // stored instead, from the source's start.
    bool capReached = false;
};

// One per thread, reused from entry to entry with one compressor state and one buffer.
class EntryEncoder {
  public:
    EntryEncoder();
    ~EntryEncoder();
    EntryEncoder(const EntryEncoder&) = delete;
    EntryEncoder& operator=(const EntryEncoder&) = delete;

    // Reads `source` to its end (EntrySource::ReadEntryData, which asks `observer`) into `sink`,
    // deflated when `deflated`. With `cap`, deflated bytes that would pass it are not handed on.
    EncodedData Encode(EntrySource& source, bool deflated, ByteSink& sink,
                       const ReadObserver& observer, std::optional<std::uint64_t> cap = {});

  private:
    EncodedData Store();
    EncodedData Deflate();
    static std::uint32_t ReadInput(deflate::DeflateState& state, std::uint8_t* dest,
                                   std::uint32_t max);
    static int FlushOutput(void* context, const std::uint8_t* src, std::uint32_t* count);

    // The current entry's.
    EntrySource* source_ = nullptr;
    ByteSink* sink_ = nullptr;
    const ReadObserver* observer_ = nullptr;
    std::optional<std::uint64_t> cap_;
    bool capReached_ = false;
    std::uint64_t handed_ = 0;

    std::unique_ptr<deflate::DeflateState> deflater_;
    std::array<std::uint8_t, kWriterBufferSize> buffer_;
};

}  // namespace zelpack::zip
