// The window framework under the dialogs: a modal dialog made from a template, whose controls are
// addressed by id and whose window system events arrive as initialisation, commands and timer
// ticks, the message map that each dialog class supplies. It names no toolkit type: a back end
// (Qt on Linux, Win32 on Windows) makes the window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "resources/dialog_templates.h"

namespace zelpack::framework {

class DialogBackend;
class ListView;

// Notification codes carried with commands.
inline constexpr int kButtonClicked = 0;      // BN_CLICKED
inline constexpr int kEditKillFocus = 0x200;  // EN_KILLFOCUS

class DialogWindow {
  public:
    // `owner`, when given, must outlive this dialog; the dialog is modal over it.
    explicit DialogWindow(const resources::DialogTemplate& dialog, DialogWindow* owner = nullptr);
    virtual ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Runs the dialog modally, placed at its template position over the owner; the code given to
    // EndDialog.
    int DoModal();
    void EndDialog(int code);

    void SetDlgItemText(int id, std::u16string_view text);
    std::u16string GetDlgItemText(int id) const;
    // The list-view control `id` of the template.
    ListView& GetListView(int id);

    // Timer `id` of this dialog; ticks arrive through OnTimer on the dialog's thread.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);

    // Centres the dialog over its owner when that is on screen, else on the work area of its
    // screen, keeping it inside the work area.
    void CenterWindow();
    // The big and the small icon of the window, from icon group `resource`.
    void SetIcon(int resource);
    // A press of Tab for the dialog's own loop to handle: the focus moves to the next tab stop.
    void PostTabKey();

    // From any thread: runs `action` later on the dialog's thread. Dropped when the dialog object
    // is gone by then; runs also after the dialog has ended, while the object lives.
    void Post(std::function<void()> action);
    // From another thread: runs `action` on the dialog's thread, answered from its message loop,
    // and waits for it. False, without running it, when the dialog's window is gone or was never
    // made.
    bool Send(const std::function<void()>& action);
    // On the dialog's thread: serves its messages (Post and Send included) until `done()`; call it
    // in or after the modal run. Whoever makes `done()` true posts afterwards, to wake it.
    void ServeUntil(const std::function<bool()>& done);

    const resources::DialogTemplate& dialog_template() const { return template_; }
    DialogWindow* owner() const { return owner_; }
    // The window system's side, for back-end code and the tests' drivers.
    DialogBackend& backend() const { return *backend_; }

    // The innermost dialog whose modal run is under way and whose window is initialised; null
    // when there is none.
    static DialogWindow* ActiveModal();

  protected:
    // True: the focus goes to the first tab stop of the template.
    virtual bool OnInitDialog() { return true; }
    // A command from control `id` (push button clicks, edit notifications, Enter as kIdOk,
    // Escape and the close box as kIdCancel). Unhandled commands do nothing.
    virtual void OnCommand(int id, int notification) = 0;
    virtual void OnTimer(int /*id*/) {}

  private:
    friend class DialogBackend;

    const resources::DialogTemplate& template_;
    DialogWindow* owner_;
    std::unique_ptr<DialogBackend> backend_;
    bool initialised_ = false;
};

}  // namespace zelpack::framework
