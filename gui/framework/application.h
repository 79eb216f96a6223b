// What the window system needs around the program's dialogs, for the program's lifetime: the
// application object of Qt; COM and the common controls on Windows. One per process.
#pragma once

#include <memory>

namespace zelpack::framework {

class Application {
  public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zelpack::framework
