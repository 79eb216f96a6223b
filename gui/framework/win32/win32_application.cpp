#include "gui/framework/application.h"
#include "gui/framework/win32/win32_windows.h"

namespace zelpack::framework {

struct Application::State {
    State() {
        // The shell's folder browser needs COM; its result changes nothing here.
        (void)CoInitialize(nullptr);
        // The list view's class is named too: the version 5 controls register it only on
        // request.
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
    }
    ~State() { CoUninitialize(); }
};

Application::Application(int&, char**) : state_(std::make_unique<State>()) {}

Application::~Application() = default;

}  // namespace zelpack::framework
