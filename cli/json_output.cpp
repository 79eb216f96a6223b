#include "cli/json_output.h"

#include <cstdio>
#include <ostream>

#include "platform/filetime.h"
#include "platform/path.h"
#include "platform/text.h"

namespace zelpack {

std::string JsonPath(std::u16string_view path) {
    return platform::ToNative(platform::PortablePath(path));
}

std::string JsonTime(const FileEntry& entry) {
    platform::SystemTime time;
    platform::FileTimeToSystemTime(entry.ftLastWriteTime, time);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{time.wYear},
                  unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
                  unsigned{time.wMinute}, unsigned{time.wSecond});
    return text;
}

nlohmann::ordered_json NoticeJson(const Notice& notice, bool text) {
    nlohmann::ordered_json object{{"code", notice.code}};
    for (const auto& [name, value] : notice.fields) {
        if (const auto* string = std::get_if<std::u16string>(&value)) {
            object[name] = platform::ToNative(*string);
        } else if (const auto* number = std::get_if<std::uint64_t>(&value)) {
            object[name] = *number;
        } else {
            object[name] = std::get<bool>(value);
        }
    }
    if (text) {
        object["text"] = platform::ToNative(notice.text);
    }
    return object;
}

void WriteJson(const nlohmann::ordered_json& document, std::ostream& out) {
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

}  // namespace zelpack
