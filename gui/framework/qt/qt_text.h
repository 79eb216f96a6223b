// Wide text of the core (UTF-16) to and from Qt's strings, unit for unit.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zelpack::framework::qt {

inline QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string ToWide(const QString& text) {
    return text.toStdU16String();
}

}  // namespace zelpack::framework::qt
