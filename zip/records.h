// Serialising the four ZIP records and the extended-timestamp extra blocks, and preparing entry
// names for them. Each record can be encoded into caller memory (for patching a local header in
// place, or checking bytes) or written through a ByteSink.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "zip/entry_header.h"
#include "zip/record_format.h"

namespace zelpack::zip {

// Where records go. Returns the number of bytes accepted; fewer than asked is a failure.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual std::size_t Write(std::span<const std::uint8_t> data) = 0;
};

// --- Entry names ---

// True when `name` (native bytes, before any slash is appended) can be stored: not empty, and
// short enough for the name field with its terminator, counting the slash a folder entry
// without one gets.
bool EntryNameFits(std::string_view name, bool folder);

// Stores `name` into header.name and header.nameLength: every backslash becomes a slash, and a
// folder entry gets a trailing slash unless it already ends in one. Nothing else changes.
// Returns false, leaving the header untouched, when EntryNameFits refuses the name.
bool SetEntryName(EntryHeader& header, std::string_view name, bool folder);

// True when the name must carry record::kFlagUtf8Name: valid UTF-8 that is not pure ASCII.
// Names holding undecodable bytes are stored as bytes, without the flag.
bool NeedsUtf8Flag(std::string_view name);

// --- Extra blocks ---

// Times are seconds since 1970; only their low 32 bits are stored, as signed values.
std::array<std::uint8_t, record::kLocalExtraSize> MakeLocalExtra(std::int64_t modified,
                                                                 std::int64_t accessed,
                                                                 std::int64_t created);
// The first 9 bytes of the local block, with the data size changed from 13 to 5.
std::array<std::uint8_t, record::kCentralExtraSize> MakeCentralExtra(
    const std::array<std::uint8_t, record::kLocalExtraSize>& localExtra);

// --- Record sizes ---

// 30 + name length + 17: what the writer adds to its byte count for a local header.
std::size_t LocalHeaderSize(const EntryHeader& header);
// 46 + name length + 9.
std::size_t CentralHeaderSize(const EntryHeader& header);

// --- Encoding into memory ---
// Each returns the number of bytes produced, or 0 when `out` is too small or the header's
// nameLength does not fit the name field (nothing beyond the field is ever read).

std::size_t EncodeLocalHeader(const EntryHeader& header, std::span<std::uint8_t> out);
std::size_t EncodeCentralHeader(const EntryHeader& header, std::span<std::uint8_t> out);
std::array<std::uint8_t, record::kDataDescriptorSize> EncodeDataDescriptor(
    const EntryHeader& header);
// count is written as its low 16 bits; offset is the absolute position of the first central
// header (base offset included).
std::array<std::uint8_t, record::kEndRecordSize> EncodeEndRecord(std::uint32_t count,
                                                                 std::uint32_t size,
                                                                 std::uint32_t offset);

// --- Writing through a sink ---
// Each record goes to the sink in one call. The result is true only when every byte was
// accepted, fixed fields included, so that a partly written record never passes as complete.

bool WriteLocalHeader(ByteSink& sink, const EntryHeader& header);
bool WriteCentralHeader(ByteSink& sink, const EntryHeader& header);
bool WriteEndRecord(ByteSink& sink, std::uint32_t count, std::uint32_t size, std::uint32_t offset);
bool WriteDataDescriptor(ByteSink& sink, const EntryHeader& header);

}  // namespace zelpack::zip
