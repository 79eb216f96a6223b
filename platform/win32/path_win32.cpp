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
    Result<std::u16string> resolved = WithBuffer([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    CloseHandle(handle);
    if (!resolved) {
        return resolved;
    }
    // The system answers in its long form: \\?\C:\x, \\?\UNC\server\share\x.
    std::u16string text = std::move(*resolved);
    if (text.starts_with(u"\\\\?\\UNC\\")) {
        text = u"\\\\" + text.substr(8);
    } else if (text.starts_with(u"\\\\?\\")) {
        text = text.substr(4);
    }
    return text;
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
