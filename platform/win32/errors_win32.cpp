// Windows: the category of Win32 error codes, and their names.
#include <utility>

#include "platform/result.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

class Win32ErrorCategory final : public std::error_category {
  public:
    const char* name() const noexcept override { return "win32"; }

    std::string message(int code) const override {
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (length == 0 || text == nullptr) {
            return "Windows error " + std::to_string(code);
        }
        std::u16string message = FromWide(text, length);
        LocalFree(text);
        // The system's messages end in a full stop and a line break.
        while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                                    message.back() == u' ' || message.back() == u'.')) {
            message.pop_back();
        }
        return ToNative(message);
    }

    std::error_condition default_error_condition(int code) const noexcept override {
        switch (static_cast<DWORD>(code)) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_DRIVE:
            case ERROR_BAD_NETPATH:
            case ERROR_BAD_NET_NAME:
                return std::errc::no_such_file_or_directory;
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
            case ERROR_WRITE_PROTECT:
                return std::errc::permission_denied;
            case ERROR_FILE_EXISTS:
            case ERROR_ALREADY_EXISTS:
                return std::errc::file_exists;
            case ERROR_DISK_FULL:
            case ERROR_HANDLE_DISK_FULL:
                return std::errc::no_space_on_device;
            case ERROR_FILENAME_EXCED_RANGE:
                return std::errc::filename_too_long;
            case ERROR_DIRECTORY:
                return std::errc::not_a_directory;
            case ERROR_NOT_ENOUGH_MEMORY:
            case ERROR_OUTOFMEMORY:
                return std::errc::not_enough_memory;
            case ERROR_INVALID_HANDLE:
                return std::errc::bad_file_descriptor;
            case ERROR_CANT_RESOLVE_FILENAME:
                return std::errc::too_many_symbolic_link_levels;
            case ERROR_NOT_SAME_DEVICE:
                return std::errc::cross_device_link;
            case ERROR_DIR_NOT_EMPTY:
                return std::errc::directory_not_empty;
            case ERROR_BROKEN_PIPE:
            case ERROR_NO_DATA:
                return std::errc::broken_pipe;
            default:
                return std::error_condition(code, *this);
        }
    }
};

}  // namespace

const std::error_category& Win32Category() {
    static const Win32ErrorCategory category;
    return category;
}

std::string SystemErrorName(const std::error_code& error) {
    if (error.category() != Win32Category()) {
        return std::string(error.category().name()) + ' ' + std::to_string(error.value());
    }
#define ZELPACK_WIN32_ERROR(name) \
    { name, #name }
    // The codes that file, folder and process calls give.
    static constexpr std::pair<DWORD, const char*> kNames[] = {
        ZELPACK_WIN32_ERROR(ERROR_INVALID_FUNCTION),
        ZELPACK_WIN32_ERROR(ERROR_FILE_NOT_FOUND),
        ZELPACK_WIN32_ERROR(ERROR_PATH_NOT_FOUND),
        ZELPACK_WIN32_ERROR(ERROR_TOO_MANY_OPEN_FILES),
        ZELPACK_WIN32_ERROR(ERROR_ACCESS_DENIED),
        ZELPACK_WIN32_ERROR(ERROR_INVALID_HANDLE),
        ZELPACK_WIN32_ERROR(ERROR_NOT_ENOUGH_MEMORY),
        ZELPACK_WIN32_ERROR(ERROR_OUTOFMEMORY),
        ZELPACK_WIN32_ERROR(ERROR_INVALID_DRIVE),
        ZELPACK_WIN32_ERROR(ERROR_NOT_SAME_DEVICE),
        ZELPACK_WIN32_ERROR(ERROR_NO_MORE_FILES),
        ZELPACK_WIN32_ERROR(ERROR_WRITE_PROTECT),
        ZELPACK_WIN32_ERROR(ERROR_NOT_READY),
        ZELPACK_WIN32_ERROR(ERROR_CRC),
        ZELPACK_WIN32_ERROR(ERROR_WRITE_FAULT),
        ZELPACK_WIN32_ERROR(ERROR_READ_FAULT),
        ZELPACK_WIN32_ERROR(ERROR_GEN_FAILURE),
        ZELPACK_WIN32_ERROR(ERROR_SHARING_VIOLATION),
        ZELPACK_WIN32_ERROR(ERROR_LOCK_VIOLATION),
        ZELPACK_WIN32_ERROR(ERROR_HANDLE_DISK_FULL),
        ZELPACK_WIN32_ERROR(ERROR_NOT_SUPPORTED),
        ZELPACK_WIN32_ERROR(ERROR_BAD_NETPATH),
        ZELPACK_WIN32_ERROR(ERROR_BAD_NET_NAME),
        ZELPACK_WIN32_ERROR(ERROR_FILE_EXISTS),
        ZELPACK_WIN32_ERROR(ERROR_INVALID_PARAMETER),
        ZELPACK_WIN32_ERROR(ERROR_BROKEN_PIPE),
        ZELPACK_WIN32_ERROR(ERROR_DISK_FULL),
        ZELPACK_WIN32_ERROR(ERROR_INVALID_NAME),
        ZELPACK_WIN32_ERROR(ERROR_DIR_NOT_EMPTY),
        ZELPACK_WIN32_ERROR(ERROR_ALREADY_EXISTS),
        ZELPACK_WIN32_ERROR(ERROR_FILENAME_EXCED_RANGE),
        ZELPACK_WIN32_ERROR(ERROR_DIRECTORY),
        ZELPACK_WIN32_ERROR(ERROR_NO_DATA),
        ZELPACK_WIN32_ERROR(ERROR_OPERATION_ABORTED),
        ZELPACK_WIN32_ERROR(ERROR_IO_DEVICE),
        ZELPACK_WIN32_ERROR(ERROR_PRIVILEGE_NOT_HELD),
        ZELPACK_WIN32_ERROR(ERROR_CANT_ACCESS_FILE),
        ZELPACK_WIN32_ERROR(ERROR_CANT_RESOLVE_FILENAME),
        ZELPACK_WIN32_ERROR(ERROR_DELETE_PENDING),
    };
#undef ZELPACK_WIN32_ERROR
    for (const auto& [value, name] : kNames) {
        if (value == static_cast<DWORD>(error.value())) {
            return name;
        }
    }
    return "win32 " + std::to_string(static_cast<DWORD>(error.value()));
}

}  // namespace zelpack::platform
