#include "zip/prepared_entry.h"

namespace zelpack::zip {

namespace {

// What one Prepare call reads through and writes into.
struct Preparation {
    PreparedEntry& entry;
    const ZipWriter::ReadObserver& observer;
};

std::uint32_t ReadInput(deflate::DeflateState& state, std::uint8_t* dest, std::uint32_t max) {
    auto& run = *static_cast<Preparation*>(deflate::Context(state));
    // The writer's own reading rule, so that the compressor sees the same input.
    return static_cast<std::uint32_t>(run.entry.source.ReadEntryData({dest, max}, run.observer));
}

int FlushOutput(void* context, const std::uint8_t* src, std::uint32_t* count) {
    auto& run = *static_cast<Preparation*>(context);
    run.entry.data.insert(run.entry.data.end(), src, src + *count);
    *count = 0;
    return 0;
}

}  // namespace

EntryPreparer::EntryPreparer() = default;
EntryPreparer::~EntryPreparer() = default;

void EntryPreparer::Prepare(std::u16string_view entryName, platform::File& file,
                            std::uint64_t maxBytes, const ZipWriter::ReadObserver& observer,
                            PreparedEntry& entry) {
    entry.ready = false;
    entry.data.clear();
    entry.deflateFlags = 0;
    EntrySource& source = entry.source;
    if (source.OpenSourceHandle(&file, 0) != Success) {
        return;
    }
    if (source.sourceSize < 0 || static_cast<std::uint64_t>(source.sourceSize) > maxBytes) {
        source.CloseSource();
        return;
    }
    Preparation run{entry, observer};
    bool produced = true;
    if (ZipWriter::IsStoredEntry(entryName)) {
        entry.data.reserve(static_cast<std::size_t>(source.sourceSize));
        for (std::size_t count; (count = source.ReadEntryData(buffer_, observer)) != 0;) {
            entry.data.insert(entry.data.end(), buffer_.begin(), buffer_.begin() + count);
        }
    } else {
        if (!deflater_) {
            deflater_ = deflate::NewDeflateState();
        }
        constexpr int kLevel = 8;  // as the writer deflates
        const deflate::DeflateResult result = deflate::Deflate(
            *deflater_, kLevel, &run, ReadInput, FlushOutput, buffer_, entry.deflateFlags);
        produced = result.error_text == nullptr;
    }
    const bool read_whole =
        source.sourceError == Success && source.sourceBytesRead <= kMaxEntrySize;
    source.CloseSource();
    entry.ready = produced && read_whole;
    if (!entry.ready) {
        entry.data = std::vector<std::uint8_t>();
    }
}

}  // namespace zelpack::zip
