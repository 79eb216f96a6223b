// Fuzz target: the archive writer on a memory target, read back by libarchive.
//
// The input is decoded into a capacity, whether the writer reserves the memory itself, an
// optional password with the encryption header's bytes, then up to 48 operations: an entry from
// memory (odd names: empty, NUL inside, backslashes, too long, non-ASCII, lone surrogates; data
// of every size class), a folder entry, or an early GetArchiveMemory. Then GetArchiveMemory and
// EndArchive. For every input:
//  - nothing crashes or leaks; each operation's result is also MostRecentResult;
//  - a name that is empty, holds a NUL or whose stored form passes 259 bytes never succeeds, and
//    nothing succeeds once the archive is finished;
//  - with the target byte's bit 0x40, the writer keeps to limits far below the format's (a few
//    entries, entries of 256 bytes to 32 KiB, an archive of half the capacity), so that entries
//    are refused or stored instead of deflated; every entry refused for its arguments names a
//    limit unless its name was bad, no entry that succeeded passes them, nor does the archive;
//  - GetArchiveMemory answers the same every time, and EndArchive agrees with it;
//  - an archive reported complete leaves one byte of the capacity free; its central directory
//    holds exactly the stored names of the entries that succeeded, in order, byte for byte
//    (UTF-8; lone surrogates U+DC80..U+DCFF as the bytes 80..FF, other lone ones as U+FFFD; '\'
//    as '/'; a folder's ending in '/'; on Windows the ANSI code page's bytes instead where the
//    system converts the name into it exactly and none of them is a '\'); and libarchive reads it,
//    from the central directory and, when no entry failed part-way, as a stream, as those entries:
//    names (libarchive normalises non-ASCII ones, so only ASCII names are compared there), folder
//    or file (a file named with a trailing separator reads as a folder), and data, deciphered with
//    the password.
// Builds without libarchive (the Windows replay of the inputs) leave out that last reading.
#ifdef ZELPACK_FUZZ_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zip/archive.h"
#include "zip/zip_writer_internal.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace zip = zelpack::zip;

constexpr std::size_t kMaxOperations = 48;
constexpr std::size_t kMaxTotalData = 2 << 20;
constexpr std::size_t kMaxStoredName = 259;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "zip_writer_fuzzer: %s\n", what);
        std::abort();
    }
}

// The fuzz bytes, read front to back; zeros once they run out.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ == size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::span<const std::uint8_t> Take(std::size_t n) {
        n = std::min(n, size_ - at_);
        const std::span<const std::uint8_t> taken(data_ + at_, n);
        at_ += n;
        return taken;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::u16string MakeName(Input& in) {
    const std::uint8_t kind = in.Byte() % 8;
    const std::size_t length = in.Byte() % 16;
    std::u16string name;
    switch (kind) {
        case 0:  // empty
            break;
        case 1:  // bytes as Latin-1 units: NUL, '\', '/' and controls included
            for (std::uint8_t b : in.Take(length)) {
                name.push_back(b);
            }
            break;
        case 2:  // a path with both separators
            for (std::size_t i = 0; i <= length % 5; ++i) {
                const std::uint8_t b = in.Byte();
                name.append(1 + b % 4, static_cast<char16_t>(u'a' + i));
                name.push_back(b & 0x80 ? u'\\' : u'/');
            }
            name.push_back(u'f');
            break;
        case 3: {  // around the name field's limit, in units of 1 to 4 bytes
            static constexpr std::array<std::u16string_view, 4> kUnits = {u"a", u"\u00e9",
                                                                          u"\u4e2d", u"\U0001F600"};
            const std::u16string_view unit = kUnits[length % 4];
            const std::size_t bytes_per_unit = 1 + length % 4;
            const std::size_t count = (240 + in.Byte() % 32) / bytes_per_unit;
            for (std::size_t i = 0; i < count; ++i) {
                name.append(unit);
            }
            break;
        }
        case 4:  // any UTF-16 units, unpaired surrogates included
            for (std::size_t i = 0; i < length; ++i) {
                name.push_back(in.U16());
            }
            break;
        case 5:  // a NUL inside
            name = u"a";
            name.push_back(u'\0');
            name.append(u"b");
            break;
        case 6: {  // extensions that are stored rather than deflated, and some that are not
            static constexpr std::array<std::u16string_view, 8> kExtensions = {
                u".zip", u".GZ", u".z", u".tgz", u".Zip", u".txt", u".", u".arj"};
            name = u"file";
            name.append(kExtensions[length % 8]);
            break;
        }
        case 7:  // bytes that are no UTF-8, escaped as U+DC80..U+DCFF, next to a high surrogate
            for (std::size_t i = 0; i < length; ++i) {
                const std::uint8_t b = in.Byte();
                name.push_back(b & 1 ? static_cast<char16_t>(0xDC80 + (b >> 1)) : u'x');
            }
            name.push_back(0xD800);
            break;
    }
    return name;
}

std::vector<std::uint8_t> MakeData(Input& in, std::size_t& budget) {
    const std::uint8_t kind = in.Byte() % 6;
    std::vector<std::uint8_t> data;
    switch (kind) {
        case 0:  // empty: refused
            break;
        case 1: {
            const auto bytes = in.Take(in.Byte());
            data.assign(bytes.begin(), bytes.end());
            break;
        }
        case 2:  // one byte repeated
            data.assign(1 + in.U16(), in.Byte());
            break;
        case 3:    // incompressible
        case 5: {  // sizes at the edges of the writer's and the compressor's buffers
            static constexpr std::array<std::size_t, 8> kEdges = {1,     258,   16383, 16384,
                                                                  16385, 32768, 65536, 65537};
            const std::size_t size = kind == 3 ? 4 * std::size_t{in.U16()} : kEdges[in.Byte() % 8];
            std::uint32_t x = 0x9E3779B9u ^ in.U16();
            data.resize(size);
            for (auto& b : data) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                b = static_cast<std::uint8_t>(x >> 24);
            }
            break;
        }
        case 4: {  // a short piece repeated: long matches
            const auto piece = in.Take(1 + in.Byte() % 32);
            const std::size_t size = 2 * std::size_t{in.U16()};
            for (std::size_t i = 0; !piece.empty() && i < size; ++i) {
                data.push_back(piece[i % piece.size()]);
            }
            break;
        }
    }
    if (data.size() > budget) {
        data.resize(budget);
    }
    budget -= data.size();
    return data;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The name as the archive must hold it, worked out here rather than by the product's code.
std::string StoredName(std::u16string_view name, bool folder) {
    std::string out;
#ifdef _WIN32
    std::wstring wide(name.begin(), name.end());
    std::replace(wide.begin(), wide.end(), L'\\', L'/');
    BOOL used_default = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &used_default);
    if (length > 0 && !used_default) {
        out.resize(static_cast<std::size_t>(length));
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), out.data(), length, nullptr, nullptr);
    }
    if (out.find('\\') != std::string::npos) {
        out.clear();
    }
#endif
    const bool in_code_page = !out.empty();
    for (std::size_t i = 0; !in_code_page && i < name.size(); ++i) {
        const char32_t u = name[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (name[++i] - 0xDC00));
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u == u'\\' ? u'/' : u);
        }
    }
    if (folder && !out.empty() && out.back() != '/') {
        out.push_back('/');
    }
    return out;
}

struct Entry {
    std::string name;
    bool folder;
    std::vector<std::uint8_t> data;
};

std::uint32_t Le(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | p[i];
    }
    return value;
}

// The names in the central directory, byte for byte: libarchive hands UTF-8 names over
// normalised (NFC), so it cannot show them exactly. The writer adds no archive comment, so the
// end record is the last 22 bytes.
void CheckCentralNames(const std::uint8_t* base, std::uint32_t length,
                       const std::vector<Entry>& entries) {
    Check(length >= 22 && Le(base + length - 22, 4) == 0x06054B50, "no end record at the end");
    const std::uint8_t* end = base + length - 22;
    Check(Le(end + 10, 2) == entries.size(), "end record counts other entries");
    std::uint64_t at = Le(end + 16, 4);
    for (const Entry& expected : entries) {
        Check(at + 46 <= length && Le(base + at, 4) == 0x02014B50, "central header missing");
        const std::uint32_t name_length = Le(base + at + 28, 2);
        Check(at + 46 + name_length <= length, "central header past the end");
        const std::string_view name(reinterpret_cast<const char*>(base + at + 46), name_length);
        Check(name == expected.name, "stored name differs");
        at += 46 + name_length + Le(base + at + 30, 2) + Le(base + at + 32, 2);
    }
    Check(at == length - 22, "central directory does not end at the end record");
}

#ifdef ZELPACK_FUZZ_LIBARCHIVE
void CheckReadsBack(const std::uint8_t* base, std::uint32_t length, const std::string& password,
                    const std::vector<Entry>& entries, bool seekable) {
    archive* a = archive_read_new();
    Check(a != nullptr, "archive_read_new");
    if (seekable) {
        archive_read_support_format_zip_seekable(a);
    } else {
        archive_read_support_format_zip_streamable(a);
    }
    if (!password.empty()) {
        archive_read_add_passphrase(a, password.c_str());
    }
    if (archive_read_open_memory(a, base, length) != ARCHIVE_OK) {
        std::fprintf(stderr, "libarchive: %s\n", archive_error_string(a));
        Check(false, "libarchive cannot open it");
    }
    std::vector<std::uint8_t> data;
    std::array<std::uint8_t, 65536> buffer;
    for (const Entry& expected : entries) {
        archive_entry* entry = nullptr;
        if (archive_read_next_header(a, &entry) != ARCHIVE_OK) {
            std::fprintf(stderr, "libarchive: %s\n", archive_error_string(a));
            Check(false, "an entry is missing or unreadable");
        }
        const char* name = archive_entry_pathname(entry);
        const bool ascii = std::all_of(expected.name.begin(), expected.name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        Check(name != nullptr && (name == expected.name || !ascii), "name differs");
        // A file's name is stored as given, so one ending in a separator reads as a folder.
        const bool folder = expected.name.ends_with('/');
        Check((archive_entry_filetype(entry) == AE_IFDIR) == folder, "kind differs");
        if (folder && !expected.folder) {
            continue;
        }
        data.clear();
        for (;;) {
            const la_ssize_t n = archive_read_data(a, buffer.data(), buffer.size());
            if (n < 0) {
                std::fprintf(stderr, "libarchive: %s\n", archive_error_string(a));
                Check(false, "data unreadable");
            }
            if (n == 0) {
                break;
            }
            data.insert(data.end(), buffer.data(), buffer.data() + n);
        }
        Check(data == expected.data, "data differs");
    }
    archive_entry* entry = nullptr;
    Check(archive_read_next_header(a, &entry) == ARCHIVE_EOF, "more entries than added");
    archive_read_free(a);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
#ifdef ZELPACK_FUZZ_LIBARCHIVE
    // libarchive hands UTF-8 names over in the locale's charset.
    Check(std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr, "no C.UTF-8 locale");
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    Input in(bytes, size);

    const std::uint8_t target = in.Byte();
    std::uint32_t capacity = 0;
    switch (target % 4) {
        case 0:
            capacity = 1 + in.Byte();
            break;
        case 1:
            capacity = in.U16();
            break;
        case 2:
            capacity = 65536 + 4 * std::uint32_t{in.U16()};
            break;
        case 3:
            capacity = 4 << 20;
            break;
    }
    const bool writer_reserves = target & 0x80;
    std::string password;
    for (std::uint8_t b : in.Take(in.Byte() % 8)) {
        password.push_back(static_cast<char>(b == 0 ? 1 : b));  // libarchive takes C strings
    }
    std::array<std::uint8_t, zip::kEncryptionHeaderRandomBytes> random{};
    const auto random_bytes = in.Take(random.size());
    std::copy(random_bytes.begin(), random_bytes.end(), random.begin());

    // Exactly the capacity, so that a write past it is caught.
    std::unique_ptr<std::uint8_t[]> buffer;
    if (!writer_reserves) {
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    }
    std::unique_ptr<zip::ArchiveHandle> archive =
        zip::BeginArchiveInMemory(buffer.get(), capacity, password);
    if (!archive) {
        Check(capacity == 0, "a memory target could not be begun");
        return 0;
    }
    archive->writer->SetFixedEncryptionBytes(random);
    const bool limited = target & 0x40;
    zip::FormatLimits limits;
    if (limited) {
        limits.entries = 4 + (target >> 2 & 7);
        limits.entrySize = std::uint64_t{256} << (target >> 2 & 7);
        limits.archiveSize = capacity / 2;
        archive->writer->SetLimits(limits);
    }

    std::vector<Entry> added;
    bool finished = false;
    bool failed_part_way = false;
    zip::ZipResult finish_result = 0;
    const std::uint8_t* finish_base = nullptr;
    std::uint32_t finish_length = 0;
    auto finish = [&] {
        const std::uint8_t* base = nullptr;
        std::uint32_t length = 0;
        const zip::ZipResult result = zip::GetArchiveMemory(archive.get(), base, length);
        Check(zip::GetMostRecentResult() == result, "MostRecentResult differs");
        if (finished) {
            Check(result == finish_result && base == finish_base && length == finish_length,
                  "GetArchiveMemory answers differently the second time");
        }
        finished = true;
        finish_result = result;
        finish_base = base;
        finish_length = length;
    };

    std::size_t budget = kMaxTotalData;
    std::u16string last_name;
    for (std::size_t op = 0; op < kMaxOperations && !in.empty(); ++op) {
        const std::uint8_t choice = in.Byte() % 16;
        if (choice == 15) {
            finish();
            continue;
        }
        const bool folder = choice >= 11;
        // 10 adds the previous name again.
        const std::u16string name = choice == 10 ? last_name : MakeName(in);
        last_name = name;
        std::vector<std::uint8_t> data;
        zip::ZipResult result = 0;
        if (folder) {
            result = zip::AddFolderEntry(archive.get(), name);
        } else {
            data = MakeData(in, budget);
            result = zip::AddEntryFromMemory(archive.get(), name, data);
        }
        Check(zip::GetMostRecentResult() == result, "MostRecentResult differs");
        const std::string stored = StoredName(name, folder);
        const bool bad_name = name.empty() || name.find(u'\0') != std::u16string::npos ||
                              stored.size() > kMaxStoredName;
        const zip::Limit limit = archive->writer->exceededLimit();
        if (limited && result == zip::BadArguments && !bad_name && (folder || !data.empty())) {
            Check(limit != zip::Limit::None, "an entry was refused without a limit named");
        }
        if (result == zip::Success) {
            Check(limit == zip::Limit::None, "an entry that succeeded names a limit");
            Check(data.size() <= limits.entrySize &&
                      archive->writer->entries().back().compressedSize <= limits.entrySize,
                  "an entry passes the size limit");
            Check(archive->writer->entryCount() <= limits.entries, "an entry too many");
            Check(!bad_name, "a name that cannot be stored was accepted");
            Check(!finished, "an entry was added to a finished archive");
            added.push_back({stored, folder, std::move(data)});
        } else if (result != zip::BadArguments && result != zip::AlreadyEnded &&
                   result != zip::PreviousError) {
            failed_part_way = true;  // its bytes may stay in the archive, unlisted
        }
    }
    finish();

    if (finish_result == zip::Success) {
        Check(finish_base != nullptr && finish_length < capacity, "archive past the capacity");
        Check(finish_length <= limits.archiveSize, "archive past the size limit");
        Check(writer_reserves || finish_base == buffer.get(), "archive not in the given memory");
        CheckCentralNames(finish_base, finish_length, added);
#ifdef ZELPACK_FUZZ_LIBARCHIVE
        // libarchive's central-directory reader takes no empty archive; its stream reader does.
        if (!added.empty()) {
            CheckReadsBack(finish_base, finish_length, password, added, true);
        }
        if (!failed_part_way) {
            CheckReadsBack(finish_base, finish_length, password, added, false);
        }
#else
        static_cast<void>(failed_part_way);
#endif
    }
    const zip::ZipResult end_result = zip::EndArchive(archive);
    Check(end_result == finish_result, "EndArchive disagrees with GetArchiveMemory");
    Check(archive == nullptr, "EndArchive kept the handle");
    return 0;
}
