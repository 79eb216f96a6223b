// The window system's side of a DialogWindow: one implementation per back end (qt/, win32/),
// linked in with the framework. Only back ends and the tests' drivers include this.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "gui/framework/dialog_window.h"

namespace zelpack::framework {

class DialogBackend {
  public:
    virtual ~DialogBackend() = default;

    virtual int RunModal() = 0;
    virtual void End(int code) = 0;
    virtual void SetItemText(int id, std::u16string_view text) = 0;
    virtual std::u16string ItemText(int id) const = 0;
    virtual ListView& List(int id) = 0;
    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    virtual void Center() = 0;
    virtual void SetIcon(int resource) = 0;
    virtual void PostTabKey() = 0;
    virtual void Post(std::function<void()> action) = 0;
    virtual bool Send(const std::function<void()>& action) = 0;
    virtual void ServeUntil(const std::function<bool()>& done) = 0;

  protected:
    explicit DialogBackend(DialogWindow& dialog) : dialog_(dialog) {}

    // The dialog's message map, for the back end to dispatch to.
    bool DispatchInit();
    void DispatchCommand(int id, int notification) { dialog_.OnCommand(id, notification); }
    void DispatchTimer(int id) { dialog_.OnTimer(id); }

    DialogWindow& dialog_;
};

// Made by the back end linked in.
std::unique_ptr<DialogBackend> MakeDialogBackend(DialogWindow& dialog);

}  // namespace zelpack::framework
