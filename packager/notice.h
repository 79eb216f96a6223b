// What a run tells about a file, or about itself, in two forms made together: the text the user
// reads, and a stable code with its fields for scripts, which then need not parse the text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zelpack {

struct Notice {
    using Value = std::variant<std::u16string, std::uint64_t, bool>;
    std::string code;  // "mark", "secret", ...; empty for no notice
    std::vector<std::pair<std::string, Value>> fields{};  // in the order scripts are shown them
    std::u16string text{};

    bool operator==(const Notice&) const = default;
};

}  // namespace zelpack
