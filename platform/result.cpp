#include "platform/result.h"

#include <cerrno>
#include <utility>

#include "platform/text.h"

namespace zelpack::platform {

namespace {

class Category final : public std::error_category {
  public:
    const char* name() const noexcept override { return "zelpack"; }
    std::string message(int code) const override {
        switch (static_cast<Errc>(code)) {
            case Errc::NotRegularFile:
                return "不是普通文件";
            case Errc::NulInPath:
                return "路径中含有 NUL 字符";
            case Errc::OutsideLink:
                return "是指向插件文件夹以外的链接";
        }
        return "未知错误";
    }
};

}  // namespace

const std::error_category& ZelpackCategory() {
    static const Category category;
    return category;
}

std::string ErrnoName(int number) {
#define ZELPACK_ERRNO(name) \
    { name, #name }
    // The numbers a file operation meets; each system has these, with its own values.
    static constexpr std::pair<int, const char*> kNames[] = {
        ZELPACK_ERRNO(EPERM),        ZELPACK_ERRNO(ENOENT),    ZELPACK_ERRNO(EINTR),
        ZELPACK_ERRNO(EIO),          ZELPACK_ERRNO(ENXIO),     ZELPACK_ERRNO(EBADF),
        ZELPACK_ERRNO(EAGAIN),       ZELPACK_ERRNO(ENOMEM),    ZELPACK_ERRNO(EACCES),
        ZELPACK_ERRNO(EFAULT),       ZELPACK_ERRNO(EBUSY),     ZELPACK_ERRNO(EEXIST),
        ZELPACK_ERRNO(EXDEV),        ZELPACK_ERRNO(ENODEV),    ZELPACK_ERRNO(ENOTDIR),
        ZELPACK_ERRNO(EISDIR),       ZELPACK_ERRNO(EINVAL),    ZELPACK_ERRNO(ENFILE),
        ZELPACK_ERRNO(EMFILE),       ZELPACK_ERRNO(ETXTBSY),   ZELPACK_ERRNO(EFBIG),
        ZELPACK_ERRNO(ENOSPC),       ZELPACK_ERRNO(ESPIPE),    ZELPACK_ERRNO(EROFS),
        ZELPACK_ERRNO(EMLINK),       ZELPACK_ERRNO(EPIPE),     ZELPACK_ERRNO(ERANGE),
        ZELPACK_ERRNO(ENAMETOOLONG), ZELPACK_ERRNO(ENOSYS),    ZELPACK_ERRNO(ENOTEMPTY),
        ZELPACK_ERRNO(ELOOP),        ZELPACK_ERRNO(EOVERFLOW), ZELPACK_ERRNO(ENOTSUP),
        ZELPACK_ERRNO(ECANCELED),    ZELPACK_ERRNO(ETIMEDOUT),
    };
#undef ZELPACK_ERRNO
    for (const auto& [value, name] : kNames) {
        if (value == number) {
            return name;
        }
    }
    return "errno " + std::to_string(number);
}

std::string ErrorName(const std::error_code& error) {
    if (!error) {
        return {};
    }
    if (error.category() == ZelpackCategory()) {
        switch (static_cast<Errc>(error.value())) {
            case Errc::NotRegularFile:
                return "ZELPACK_NOT_REGULAR_FILE";
            case Errc::NulInPath:
                return "ZELPACK_NUL_IN_PATH";
            case Errc::OutsideLink:
                return "ZELPACK_OUTSIDE_LINK";
        }
        return "zelpack " + std::to_string(error.value());
    }
    if (error.category() == std::generic_category()) {
        return ErrnoName(error.value());
    }
    return SystemErrorName(error);
}

std::u16string ErrorText(const std::error_code& error) {
    // Both the system's messages (English in the C locale, as CI runs) and ours are UTF-8 here.
    return FromNative(error.message());
}

}  // namespace zelpack::platform
