#include "gui/framework/dialog_window.h"

#include <vector>

#include "gui/framework/dialog_backend.h"

namespace zelpack::framework {

namespace {

// The modal runs under way on the UI thread, innermost last.
std::vector<DialogWindow*>& ModalRuns() {
    static std::vector<DialogWindow*> runs;
    return runs;
}

}  // namespace

bool DialogBackend::DispatchInit() {
    dialog_.initialised_ = true;
    return dialog_.OnInitDialog();
}

DialogWindow::DialogWindow(const resources::DialogTemplate& dialog, DialogWindow* owner)
    : template_(dialog), owner_(owner), backend_(MakeDialogBackend(*this)) {}

DialogWindow::~DialogWindow() = default;

int DialogWindow::DoModal() {
    initialised_ = false;
    ModalRuns().push_back(this);
    const int code = backend_->RunModal();
    std::erase(ModalRuns(), this);
    return code;
}

DialogWindow* DialogWindow::ActiveModal() {
    const std::vector<DialogWindow*>& runs = ModalRuns();
    return !runs.empty() && runs.back()->initialised_ ? runs.back() : nullptr;
}

void DialogWindow::EndDialog(int code) {
    backend_->End(code);
}

void DialogWindow::SetDlgItemText(int id, std::u16string_view text) {
    backend_->SetItemText(id, text);
}

std::u16string DialogWindow::GetDlgItemText(int id) const {
    return backend_->ItemText(id);
}

ListView& DialogWindow::GetListView(int id) {
    return backend_->List(id);
}

void DialogWindow::SetTimer(int id, int milliseconds) {
    backend_->SetTimer(id, milliseconds);
}

void DialogWindow::KillTimer(int id) {
    backend_->KillTimer(id);
}

void DialogWindow::CenterWindow() {
    backend_->Center();
}

void DialogWindow::SetIcon(int resource) {
    backend_->SetIcon(resource);
}

void DialogWindow::PostTabKey() {
    backend_->PostTabKey();
}

void DialogWindow::Post(std::function<void()> action) {
    backend_->Post(std::move(action));
}

bool DialogWindow::Send(const std::function<void()>& action) {
    return backend_->Send(action);
}

void DialogWindow::ServeUntil(const std::function<bool()>& done) {
    backend_->ServeUntil(done);
}

}  // namespace zelpack::framework
