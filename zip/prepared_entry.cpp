#include "zip/prepared_entry.h"

namespace zelpack::zip {

namespace {

// The encoder's sink for an entry made in memory.
class DataSink final : public ByteSink {
  public:
    explicit DataSink(std::vector<std::uint8_t>& data) : data_(data) {}
    std::size_t Write(std::span<const std::uint8_t> data) override {
        data_.insert(data_.end(), data.begin(), data.end());
        return data.size();
    }

  private:
    std::vector<std::uint8_t>& data_;
};

}  // namespace

EntryPreparer::EntryPreparer() = default;
EntryPreparer::~EntryPreparer() = default;

void EntryPreparer::Prepare(std::u16string_view entryName, platform::File& file,
                            std::uint64_t maxBytes, const ReadObserver& observer,
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
    const bool deflated = !IsStoredEntry(entryName);
    if (!deflated) {
        entry.data.reserve(static_cast<std::size_t>(source.sourceSize));
    }
    DataSink sink(entry.data);
    const EncodedData encoded = encoder_.Encode(source, deflated, sink, observer);
    entry.deflateFlags = encoded.flags;
    // One that ran past the format's size limit is left to the writer, which refuses it.
    const bool readWhole = source.sourceError == Success && source.sourceBytesRead <= kMaxEntrySize;
    source.CloseSource();
    entry.ready = encoded.complete && readWhole;
    if (!entry.ready) {
        entry.data = std::vector<std::uint8_t>();
    }
}

}  // namespace zelpack::zip
