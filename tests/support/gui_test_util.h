// Helpers of the dialog tests: answers for the shell dialogs, and a watcher that looks at the
// modal dialog of the moment while its loop runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/framework/dialog_window.h"
#include "gui/framework/shell_dialogs.h"
#include "platform/path.h"
#include "tests/support/dialog_driver.h"

namespace zelpack::testing {

class FakeShellDialogs : public framework::ShellDialogs {
  public:
    FakeShellDialogs() { ShellDialogs::Install(this); }
    ~FakeShellDialogs() override { ShellDialogs::Install(nullptr); }

    std::optional<std::u16string> BrowseForFolder(framework::DialogWindow&) override {
        ++browse_calls;
        return folder_answer;
    }
    std::optional<std::u16string> GetSaveFileName(framework::DialogWindow&,
                                                  const std::u16string& proposed) override {
        proposals.push_back(proposed);
        return save_answer;
    }

    std::optional<std::u16string> folder_answer;
    std::optional<std::u16string> save_answer;
    int browse_calls = 0;
    std::vector<std::u16string> proposals;
};

// Every 10 ms while it lives: records each new text of the modal dialog's status line (1009)
// and button (2), then calls `step`, which may act on the dialog.
class ModalWatcher {
  public:
    using Step = std::function<void(framework::DialogWindow& dialog, ModalWatcher& watcher)>;

    explicit ModalWatcher(Step step = {})
        : step_(std::move(step)),
          start_(std::chrono::steady_clock::now()),
          ticker_(10, [this] { Poll(); }) {}

    // Milliseconds since the watcher started.
    long long Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

    std::vector<std::u16string> statuses;
    std::vector<std::u16string> buttons;
    int dialogs_seen = 0;

  private:
    void Poll() {
        // A step that waits for the window system (a screenshot) lets ticks through: not again.
        if (polling_) {
            return;
        }
        polling_ = true;
        PollOnce();
        polling_ = false;
    }
    void PollOnce() {
        framework::DialogWindow* dialog = framework::DialogWindow::ActiveModal();
        if (dialog == nullptr ||
            dialog->dialog_template().resource != resources::kProgressDialogTemplate) {
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
    static void Record(std::vector<std::u16string>& seen, const std::u16string& text) {
        if (seen.empty() || seen.back() != text) {
            seen.push_back(text);
        }
    }

    Step step_;
    std::chrono::steady_clock::time_point start_;
    framework::DialogWindow* last_ = nullptr;
    bool polling_ = false;
    Ticker ticker_;  // last: it stops before the rest goes
};

// A row's relative path with '/' between its parts, as on every platform.
inline std::u16string Portable(std::u16string path) {
    std::replace(path.begin(), path.end(), platform::kPathSeparator, u'/');
    return path;
}

// UTF-8 of wide texts, for readable test failures.
inline std::string Utf8(std::u16string_view text) {
    const std::u8string bytes = std::filesystem::path(std::u16string(text)).u8string();
    return {bytes.begin(), bytes.end()};
}
inline std::vector<std::string> Utf8(const std::vector<std::u16string>& texts) {
    std::vector<std::string> out;
    for (const std::u16string& text : texts) {
        out.push_back(Utf8(text));
    }
    return out;
}

}  // namespace zelpack::testing
