// The machine-readable form of the commands' results (--json): one JSON document on standard
// output, written whole at the end.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "filelist/file_entry.h"
#include "packager/notice.h"

namespace zelpack {

// A relative path in its portable form ('/'), UTF-8 (texts are platform::ToNative's UTF-8).
std::string JsonPath(std::u16string_view path);
// "2026-12-09T14:03:21Z": the last write time in UTC.
std::string JsonTime(const FileEntry& entry);

// {"code": ..., each field, "text": ...}; `text` false leaves the text out.
nlohmann::ordered_json NoticeJson(const Notice& notice, bool text = true);

// Two-space indented, a name that is not valid UTF-8 written with U+FFFD for its stray bytes.
void WriteJson(const nlohmann::ordered_json& document, std::ostream& out);

}  // namespace zelpack
