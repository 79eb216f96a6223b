// The packaging core: checks a plug-in's configuration and writes its descriptor.
#pragma once

#include <span>
#include <string>
#include <string_view>

struct _xmlNode;

namespace zelpack {

// Serves one packing run. Failing steps store a user-facing message; nothing clears it.
class PluginPackager {
  public:
    // Reads the configuration at `config_path`, checks its "vemplugin" root and the first
    // "property" child with its four required attributes, and writes the descriptor (the root and
    // a copy of that element's attributes) to `descriptor_path`, replacing any file there.
    // True only when the descriptor was written in full. The failures of the checks set the
    // message; a failed save sets none. Parsing never touches the network and never loads
    // external entities or DTDs.
    bool CheckConfigAndWriteDescriptor(std::u16string_view config_path,
                                       std::u16string_view descriptor_path);

    // False, leaving `message` alone, while no failure has been recorded.
    bool GetErrorMessage(std::u16string& message) const;

    // The narrow forms handed to the XML library, written NUL-terminated into `buffer`. Both are
    // UTF-8 here (names on disk keep their exact bytes). Nothing is returned when the text,
    // terminator included, does not fit, or holds a NUL that would cut it short.
    static const char* WideToAnsi(std::u16string_view wide, std::span<char> buffer);
    static const char* WideToUtf8(std::u16string_view wide, std::span<char> buffer);

  private:
    bool CheckPropertyAttributes(_xmlNode* property);
    // Adds attribute `name` of `source`, with its value, to `target`; false when `source` has none.
    static bool CopyAttribute(_xmlNode* source, _xmlNode* target, const char* name);

    std::u16string message_;
};

}  // namespace zelpack
