#include <QApplication>

#include "gui/framework/application.h"

namespace zelpack::framework {

struct Application::State {
    State(int& argc, char** argv) : application(argc, argv) {}
    QApplication application;
};

Application::Application(int& argc, char** argv) : state_(std::make_unique<State>(argc, argv)) {}

Application::~Application() = default;

}  // namespace zelpack::framework
