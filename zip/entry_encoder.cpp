#include "zip/entry_encoder.h"

namespace zelpack::zip {

EntryEncoder::EntryEncoder() = default;
EntryEncoder::~EntryEncoder() = default;

EncodedData EntryEncoder::Encode(EntrySource& source, bool deflated, ByteSink& sink,
                                 const ReadObserver& observer, std::optional<std::uint64_t> cap) {
    source_ = &source;
    sink_ = &sink;
    observer_ = &observer;
    cap_ = cap;
    capReached_ = false;
    handed_ = 0;
    const EncodedData encoded = deflated ? Deflate() : Store();
    source_ = nullptr;
    sink_ = nullptr;
    observer_ = nullptr;
    return encoded;
}

EncodedData EntryEncoder::Store() {
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t count = source_->ReadEntryData(buffer_, *observer_);
        if (count == 0) {
            break;
        }
        const std::size_t accepted = sink_->Write(std::span(buffer_).first(count));
        total += accepted;
        if (accepted < count) {
            return {.size = total, .handed = total, .complete = false};
        }
    }
    return {.size = total, .handed = total};
}

EncodedData EntryEncoder::Deflate() {
    if (!deflater_) {
        deflater_ = deflate::NewDeflateState();
    }
    std::uint16_t flags = 0;
    const deflate::DeflateResult result =
        deflate::Deflate(*deflater_, kDeflateLevel, this, ReadInput, FlushOutput, buffer_, flags);
    return {.size = result.compressed_size,
            .handed = handed_,
            .flags = flags,
            .complete = result.error_text == nullptr,
            .capReached = capReached_};
}

std::uint32_t EntryEncoder::ReadInput(deflate::DeflateState& state, std::uint8_t* dest,
                                      std::uint32_t max) {
    auto& encoder = *static_cast<EntryEncoder*>(deflate::Context(state));
    // Once the entry is to be stored instead, the compressor is brought to its end at once.
    if (encoder.capReached_) {
        return 0;
    }
    return static_cast<std::uint32_t>(
        encoder.source_->ReadEntryData({dest, max}, *encoder.observer_));
}

int EntryEncoder::FlushOutput(void* context, const std::uint8_t* src, std::uint32_t* count) {
    if (*count == 0) {
        return 0;
    }
    auto& encoder = *static_cast<EntryEncoder*>(context);
    if (encoder.capReached_ || (encoder.cap_ && encoder.handed_ + *count > *encoder.cap_)) {
        encoder.capReached_ = true;
        return 0;
    }
    encoder.handed_ += *count;
    const std::size_t accepted = encoder.sink_->Write({src, *count});
    if (accepted == *count) {
        *count = 0;
    }
    return static_cast<int>(accepted);
}

}  // namespace zelpack::zip
