// Windows: absolute and resolved paths, and the folder for temporary files.
#include <vector>

#include "platform/path.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

// Calls `fill(buffer, size)`, which returns the length it wrote or the size it needs, until the
// buffer is large enough.
template <typename Fill>
Result<std::u16string> WithBuffer(Fill fill) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return LastError();
        }
        if (length < buffer.size()) {
            return FromWide(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

// The long form's prefix taken off: \\?\C:\x is C:\x, \\?\UNC\server\share\x \\server\share\x.
std::u16string ShortForm(std::u16string path) {
    if (path.starts_with(u"\\\\?\\UNC\\")) {
        return u"\\\\" + path.substr(8);
    }
    if (path.starts_with(u"\\\\?\\")) {
        return path.substr(4);
    }
    return path;
}

}  // namespace

Result<std::u16string> AbsolutePath(std::u16string_view path) {
    if (path.empty()) {
        return ErrorOf(ERROR_PATH_NOT_FOUND);
    }
    if (path.find(u'\0') != std::u16string_view::npos) {
        return make_error_code(Errc::NulInPath);
    }
    const std::u16string name(path);
    return WithBuffer([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(WideData(name), size, buffer, nullptr);
    });
}

std::u16string LongPath(std::u16string_view path) {
    if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) {
        return std::u16string(path);
    }
    const Result<std::u16string> full = AbsolutePath(path);
    if (!full) {
        return std::u16string(path);
    }
    // Devices (NUL, COM1, ...) come back in the device namespace, already literal.
    if (full->starts_with(u"\\\\")) {
        return full->starts_with(u"\\\\.\\") || full->starts_with(u"\\\\?\\")
                   ? *full
                   : u"\\\\?\\UNC\\" + full->substr(2);
    }
    if (full->size() >= 3 && (*full)[1] == u':' && (*full)[2] == u'\\') {
        return u"\\\\?\\" + *full;
    }
    return *full;
}

Result<std::u16string> FinalPathOf(HANDLE handle, std::u16string_view opened) {
    Result<std::u16string> resolved = WithBuffer([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    if (resolved) {
        return ShortForm(std::move(*resolved));
    }
    // Wine answers ERROR_MORE_DATA for every path past MAX_PATH, whatever the buffer's size. Its
    // path on the volume is still known: it goes after the root of the path that was opened (a
    // junction to another volume on the way could match only by the very same path there).
    if (resolved.error() != std::error_code(ERROR_MORE_DATA, Win32Category())) {
        return resolved;
    }
    const Result<std::u16string> full = AbsolutePath(ShortForm(std::u16string(opened)));
    if (!full) {
        return full.error();
    }
    std::u16string root;
    if (full->size() >= 2 && (*full)[1] == u':') {
        root = full->substr(0, 2);
    } else if (full->starts_with(u"\\\\") && !full->starts_with(u"\\\\.\\")) {
        root = u"\\";  // the volume's path begins \\server\share
    } else {
        return resolved;
    }
    // FILE_NAME_INFO and a name of up to 32767 units, aligned as the record needs.
    std::vector<std::uint64_t> storage((sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t)) / 8 + 1);
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(storage.data());
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                      static_cast<DWORD>(storage.size() * sizeof(storage[0])))) {
        return LastError();
    }
    return root + FromWide(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

Result<std::u16string> RealPath(std::u16string_view path) {
    if (path.empty()) {
        return ErrorOf(ERROR_PATH_NOT_FOUND);
    }
    const std::u16string name = LongPath(path);
    const HANDLE handle =
        CreateFileW(WideData(name), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    Result<std::u16string> resolved = FinalPathOf(handle, name);
    CloseHandle(handle);
    return resolved;
}

std::u16string TemporaryFolder() {
    Result<std::u16string> folder =
        WithBuffer([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    std::u16string text = folder ? std::move(*folder) : std::u16string(u"C:\\Windows\\Temp");
    // Without the trailing separator, unless it is a drive's root.
    while (text.size() > 3 && IsPathSeparator(text.back())) {
        text.pop_back();
    }
    return text;
}

}  // namespace zelpack::platform
