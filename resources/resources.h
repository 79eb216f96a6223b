// Resources compiled into the desktop program.
#pragma once

#include <QIcon>

namespace zelpack::resources {

// Icon group 128: the application's icon in 16 and 32 pixels.
QIcon ApplicationIcon();

}  // namespace zelpack::resources
