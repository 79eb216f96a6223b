// Helpers of the dialog tests: answers for the file dialogs, and a watcher that looks at the
// modal dialog of the moment while its loop runs.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "app/file_dialogs.h"
#include "app/framework/dialog_window.h"

namespace zelpack::testing {

class FakeFileDialogs : public FileDialogs {
  public:
    FakeFileDialogs() { FileDialogs::Install(this); }
    ~FakeFileDialogs() override { FileDialogs::Install(nullptr); }

    std::optional<QString> BrowseForFolder(QWidget*) override {
        ++browse_calls;
        return folder_answer;
    }
    std::optional<QString> GetSaveFileName(QWidget*, const QString& proposed) override {
        proposals.push_back(proposed);
        return save_answer;
    }

    std::optional<QString> folder_answer;
    std::optional<QString> save_answer;
    int browse_calls = 0;
    std::vector<QString> proposals;
};

// Every 10 ms while it lives: records each new text of the modal dialog's status line (1009)
// and button (2), then calls `step`, which may act on the dialog.
class ModalWatcher {
  public:
    using Step = std::function<void(framework::DialogWindow& dialog, ModalWatcher& watcher)>;

    explicit ModalWatcher(Step step = {}) : step_(std::move(step)) {
        clock.start();
        timer_.callOnTimeout([this] { Poll(); });
        timer_.start(10);
    }

    std::vector<QString> statuses;
    std::vector<QString> buttons;
    int dialogs_seen = 0;
    QElapsedTimer clock;

  private:
    void Poll() {
        auto* dialog = dynamic_cast<framework::DialogWindow*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->GetDlgItem(resources::kIdStatus) == nullptr) {
            return;
        }
        if (dialog != last_) {
            last_ = dialog;
            ++dialogs_seen;
        }
        Record(statuses, dialog->GetDlgItemText(resources::kIdStatus));
        Record(buttons, dialog->GetDlgItemText(resources::kIdCancel));
        if (step_) {
            step_(*dialog, *this);
        }
    }
    static void Record(std::vector<QString>& seen, const QString& text) {
        if (seen.empty() || seen.back() != text) {
            seen.push_back(text);
        }
    }

    Step step_;
    QTimer timer_;
    framework::DialogWindow* last_ = nullptr;
};

}  // namespace zelpack::testing
