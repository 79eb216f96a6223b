#include "zip/records.h"

#include <algorithm>

namespace zelpack::zip {
namespace {

// Appends little-endian fields to a span, tracking the position.
class LittleEndianWriter {
  public:
    explicit LittleEndianWriter(std::span<std::uint8_t> out) : out_(out) {}

    void U8(std::uint8_t v) { out_[pos_++] = v; }
    void U16(std::uint32_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Bytes(std::span<const std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), out_.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ += bytes.size();
    }
    std::size_t size() const { return pos_; }

  private:
    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
};

std::span<const std::uint8_t> NameBytes(const EntryHeader& header) {
    return {reinterpret_cast<const std::uint8_t*>(header.name.data()), header.nameLength};
}

// The run of fields both headers share, from the method to the name length.
void WriteSharedFields(LittleEndianWriter& w, const EntryHeader& header) {
    w.U16(header.method);
    w.U32(header.dosDateTime);
    w.U32(header.crc);
    w.U32(header.compressedSize);
    w.U32(header.uncompressedSize);
    w.U16(header.nameLength);
}

bool NameLengthValid(const EntryHeader& header) {
    return header.nameLength <= record::kMaxNameLength;
}

bool WriteAll(ByteSink& sink, std::span<const std::uint8_t> bytes) {
    return sink.Write(bytes) == bytes.size();
}

}  // namespace

bool EntryNameFits(std::string_view name, bool folder) {
    if (name.empty()) {
        return false;
    }
    const char last = name.back();
    const bool addsSlash = folder && last != '/' && last != '\\';
    return name.size() + (addsSlash ? 1 : 0) <= record::kMaxNameLength;
}

bool SetEntryName(EntryHeader& header, std::string_view name, bool folder) {
    if (!EntryNameFits(name, folder)) {
        return false;
    }
    std::size_t length = 0;
    for (char c : name) {
        header.name[length++] = c == '\\' ? '/' : c;
    }
    if (folder && header.name[length - 1] != '/') {
        header.name[length++] = '/';
    }
    header.name[length] = '\0';
    header.nameLength = static_cast<std::uint32_t>(length);
    return true;
}

bool NeedsUtf8Flag(std::string_view name) {
    bool ascii = true;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<std::uint8_t>(name[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        ascii = false;
        // Sequence length, smallest value it may encode, and the lead byte's payload bits.
        std::size_t extra = 0;
        std::uint32_t min = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        std::uint32_t cp = lead & (0x3Fu >> extra);
        if (i + extra >= name.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cont = static_cast<std::uint8_t>(name[i + k]);
            if ((cont & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cont & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not valid UTF-8.
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return !ascii;
}

std::array<std::uint8_t, record::kLocalExtraSize> MakeLocalExtra(std::int64_t modified,
                                                                 std::int64_t accessed,
                                                                 std::int64_t created) {
    std::array<std::uint8_t, record::kLocalExtraSize> block{};
    LittleEndianWriter w(block);
    w.U16(record::kExtendedTimestampId);
    w.U16(record::kLocalExtraSize - 4);
    w.U8(record::kExtendedTimestampFlags);
    w.U32(static_cast<std::uint32_t>(modified));
    w.U32(static_cast<std::uint32_t>(accessed));
    w.U32(static_cast<std::uint32_t>(created));
    return block;
}

std::array<std::uint8_t, record::kCentralExtraSize> MakeCentralExtra(
    const std::array<std::uint8_t, record::kLocalExtraSize>& localExtra) {
    std::array<std::uint8_t, record::kCentralExtraSize> block{};
    std::copy_n(localExtra.begin(), block.size(), block.begin());
    block[2] = record::kCentralExtraSize - 4;
    block[3] = 0;
    return block;
}

std::size_t LocalHeaderSize(const EntryHeader& header) {
    return record::kLocalHeaderFixedSize + header.nameLength + record::kLocalExtraSize;
}

std::size_t CentralHeaderSize(const EntryHeader& header) {
    return record::kCentralHeaderFixedSize + header.nameLength + record::kCentralExtraSize;
}

std::size_t EncodeLocalHeader(const EntryHeader& header, std::span<std::uint8_t> out) {
    if (!NameLengthValid(header) || out.size() < LocalHeaderSize(header)) {
        return 0;
    }
    LittleEndianWriter w(out);
    w.U32(record::kLocalHeaderSignature);
    w.U16(header.versionNeeded);
    w.U16(header.localFlags);
    WriteSharedFields(w, header);
    w.U16(record::kLocalExtraSize);
    w.Bytes(NameBytes(header));
    w.Bytes(header.localExtra);
    return w.size();
}

std::size_t EncodeCentralHeader(const EntryHeader& header, std::span<std::uint8_t> out) {
    if (!NameLengthValid(header) || out.size() < CentralHeaderSize(header)) {
        return 0;
    }
    LittleEndianWriter w(out);
    w.U32(record::kCentralHeaderSignature);
    w.U16(header.versionMadeBy);
    w.U16(header.versionNeeded);
    w.U16(header.flags);
    WriteSharedFields(w, header);
    w.U16(record::kCentralExtraSize);
    w.U16(0);  // comment length
    w.U16(header.diskStart);
    w.U16(header.internalAttributes);
    w.U32(header.externalAttributes);
    w.U32(header.localHeaderOffset);
    w.Bytes(NameBytes(header));
    w.Bytes(header.centralExtra);
    return w.size();
}

std::array<std::uint8_t, record::kDataDescriptorSize> EncodeDataDescriptor(
    const EntryHeader& header) {
    std::array<std::uint8_t, record::kDataDescriptorSize> bytes{};
    LittleEndianWriter w(bytes);
    w.U32(record::kDataDescriptorSignature);
    w.U32(header.crc);
    w.U32(header.compressedSize);
    w.U32(header.uncompressedSize);
    return bytes;
}

std::array<std::uint8_t, record::kEndRecordSize> EncodeEndRecord(std::uint32_t count,
                                                                 std::uint32_t size,
                                                                 std::uint32_t offset) {
    std::array<std::uint8_t, record::kEndRecordSize> bytes{};
    LittleEndianWriter w(bytes);
    w.U32(record::kEndRecordSignature);
    w.U16(0);  // this disk
    w.U16(0);  // disk where the directory starts
    w.U16(count & 0xFFFF);
    w.U16(count & 0xFFFF);
    w.U32(size);
    w.U32(offset);
    w.U16(0);  // comment length
    return bytes;
}

bool WriteLocalHeader(ByteSink& sink, const EntryHeader& header) {
    std::array<std::uint8_t, record::kMaxLocalHeaderSize> bytes;
    const std::size_t size = EncodeLocalHeader(header, bytes);
    return size != 0 && WriteAll(sink, std::span(bytes).first(size));
}

bool WriteCentralHeader(ByteSink& sink, const EntryHeader& header) {
    std::array<std::uint8_t, record::kMaxCentralHeaderSize> bytes;
    const std::size_t size = EncodeCentralHeader(header, bytes);
    return size != 0 && WriteAll(sink, std::span(bytes).first(size));
}

bool WriteEndRecord(ByteSink& sink, std::uint32_t count, std::uint32_t size, std::uint32_t offset) {
    return WriteAll(sink, EncodeEndRecord(count, size, offset));
}

bool WriteDataDescriptor(ByteSink& sink, const EntryHeader& header) {
    return WriteAll(sink, EncodeDataDescriptor(header));
}

}  // namespace zelpack::zip
