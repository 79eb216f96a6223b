// POSIX: absolute and resolved paths, and the folder for temporary files.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/path.h"
#include "platform/posix/errors_posix.h"
#include "platform/posix/native_path.h"
#include "platform/text.h"

namespace zelpack::platform {

Result<std::u16string> AbsolutePath(std::u16string_view path) {
    Result<std::string> checked = NativePath(path);
    if (!checked) {
        return checked.error();
    }
    std::string native = std::move(*checked);
    if (native[0] != '/') {
        std::string current(4096, '\0');
        while (getcwd(current.data(), current.size()) == nullptr) {
            if (errno != ERANGE) {
                return LastError();
            }
            current.resize(current.size() * 2);
        }
        current.resize(std::char_traits<char>::length(current.c_str()));
        native = current + "/" + native;
    }
    // Resolve segment by segment; ".." at the root stays at the root.
    std::vector<std::string_view> segments;
    std::string_view rest = native;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            continue;
        }
        segments.push_back(segment);
    }
    std::string result;
    for (std::string_view segment : segments) {
        result += '/';
        result += segment;
    }
    return FromNative(result.empty() ? "/" : result);
}

Result<std::u16string> RealPath(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    const std::unique_ptr<char, decltype(&free)> resolved(realpath(native->c_str(), nullptr),
                                                          &free);
    if (resolved == nullptr) {
        return LastError();
    }
    return FromNative(resolved.get());
}

std::u16string TemporaryFolder() {
    const char* variable = std::getenv("TMPDIR");
    std::string folder = variable != nullptr && *variable != '\0' ? variable : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return FromNative(folder);
}

}  // namespace zelpack::platform
