#include "platform/result.h"

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

std::u16string ErrorText(const std::error_code& error) {
    // Both the system's messages (English in the C locale, as CI runs) and ours are UTF-8 here.
    return FromNative(error.message());
}

}  // namespace zelpack::platform
