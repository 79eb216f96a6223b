#include "resources/resources.h"

namespace zelpack::resources {

QIcon ApplicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/zelpack/zelpack-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/zelpack/zelpack-32.png"), QSize(32, 32));
    return icon;
}

}  // namespace zelpack::resources
