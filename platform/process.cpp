// The parts of the process that need no system call of their own.
#include "platform/process.h"

namespace zelpack::platform {

void Arguments::Point() {
    pointers_.clear();
    for (std::string& text : strings_) {
        pointers_.push_back(text.data());
    }
    pointers_.push_back(nullptr);
}

}  // namespace zelpack::platform
