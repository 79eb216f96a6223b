#include "gui/framework/win32/win32_dialog.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "gui/framework/dialog_backend.h"
#include "gui/framework/win32/win32_list_view.h"

namespace zelpack::framework::win32 {

namespace {

// Private messages of a dialog window: run what Post queued; run the action that Send points at.
constexpr UINT kDrainMessage = WM_APP + 1;
constexpr UINT kCallMessage = WM_APP + 2;

// The lParam of a Tab key-down as the keyboard sends it: repeat count 1, scan code 0x0F.
constexpr LPARAM kTabKeyData = 9;

class Win32DialogBackend final : public DialogBackend {
  public:
    explicit Win32DialogBackend(DialogWindow& dialog)
        : DialogBackend(dialog), thread_(GetCurrentThreadId()) {}

    ~Win32DialogBackend() override {
        for (HICON icon : icons_) {
            DestroyIcon(icon);
        }
    }

    int RunModal() override {
        const DialogWindow* owner = dialog_.owner();
        HWND owner_window = owner != nullptr ? Window(*owner) : GetActiveWindow();
        const INT_PTR code = DialogBoxParamW(
            GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog_.dialog_template().resource),
            owner_window, &Procedure, reinterpret_cast<LPARAM>(this));
        return static_cast<int>(code);
    }

    void End(int code) override {
        if (HWND window = window_.load()) {
            EndDialog(window, code);
        }
    }

    void SetItemText(int id, std::u16string_view text) override {
        if (HWND window = window_.load()) {
            SetDlgItemTextW(window, id, Wide(std::u16string(text)));
        }
    }

    std::u16string ItemText(int id) const override {
        HWND item = GetDlgItem(window_.load(), id);
        if (item == nullptr) {
            return {};
        }
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
        const UINT copied =
            GetDlgItemTextW(window_.load(), id, text.data(), static_cast<int>(text.size()));
        text.resize(copied);
        return FromWide(text);
    }

    ListView& List(int id) override {
        auto found = lists_.find(id);
        if (found == lists_.end()) {
            found =
                lists_.emplace(id, std::make_unique<Win32ListView>(GetDlgItem(window_.load(), id)))
                    .first;
        }
        return *found->second;
    }

    void SetTimer(int id, int milliseconds) override {
        if (::SetTimer(window_.load(), static_cast<UINT_PTR>(id), static_cast<UINT>(milliseconds),
                       nullptr) != 0) {
            timers_.insert(id);
        }
    }

    void KillTimer(int id) override {
        if (timers_.erase(id) != 0) {
            ::KillTimer(window_.load(), static_cast<UINT_PTR>(id));
        }
    }

    void Center() override {
        HWND window = window_.load();
        RECT frame;
        GetWindowRect(window, &frame);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT work = monitor.rcWork;
        // Over the owner when it is on screen, else over the work area.
        RECT area = work;
        HWND owner = GetWindow(window, GW_OWNER);
        if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
            GetWindowRect(owner, &area);
        }
        const LONG width = frame.right - frame.left;
        const LONG height = frame.bottom - frame.top;
        LONG left = (area.left + area.right - width) / 2;
        LONG top = (area.top + area.bottom - height) / 2;
        left = std::max(work.left, std::min(left, work.right - width));
        top = std::max(work.top, std::min(top, work.bottom - height));
        SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void SetIcon(int resource) override {
        HWND window = window_.load();
        const struct {
            WPARAM which;
            int width_metric, height_metric;
        } sizes[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
        for (const auto& size : sizes) {
            auto* icon = static_cast<HICON>(LoadImageW(
                GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_ICON,
                GetSystemMetrics(size.width_metric), GetSystemMetrics(size.height_metric), 0));
            if (icon != nullptr) {
                icons_.push_back(icon);
                SendMessageW(window, WM_SETICON, size.which, reinterpret_cast<LPARAM>(icon));
            }
        }
    }

    void PostTabKey() override { PostMessageW(window_.load(), WM_KEYDOWN, VK_TAB, kTabKeyData); }

    void Post(std::function<void()> action) override {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(action));
        }
        Wake();
    }

    bool Send(const std::function<void()>& action) override {
        HWND window = window_.load();
        // Answered by the dialog's thread whenever it looks for messages; 0 once the window is
        // gone.
        return window != nullptr &&
               SendMessageW(window, kCallMessage, 0, reinterpret_cast<LPARAM>(&action)) != 0;
    }

    void ServeUntil(const std::function<bool()>& done) override {
        Drain();
        while (!done()) {
            MSG message;
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got <= 0) {
                if (got == 0) {
                    PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
                }
                return;
            }
            if (message.hwnd == nullptr && message.message == kDrainMessage) {
                if (message.lParam == reinterpret_cast<LPARAM>(this)) {
                    Drain();
                }
                continue;
            }
            HWND window = window_.load();
            if (window == nullptr || !IsDialogMessageW(window, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        Drain();
    }

    HWND window() const { return window_.load(); }

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<Win32DialogBackend*>(lparam);
            SetWindowLongPtrW(window, DWLP_USER, lparam);
            self->window_ = window;
            self->PlaceOverOwner();
            const bool default_focus = self->DispatchInit();
            // What was posted before the window existed runs once the dialog loop is up.
            self->Wake();
            return default_focus ? TRUE : FALSE;
        }
        auto* self = reinterpret_cast<Win32DialogBackend*>(GetWindowLongPtrW(window, DWLP_USER));
        if (self == nullptr) {
            return FALSE;
        }
        switch (message) {
            case WM_COMMAND:
                self->DispatchCommand(LOWORD(wparam), HIWORD(wparam));
                return TRUE;
            case WM_NOTIFY:
                return self->Notify(*reinterpret_cast<NMHDR*>(lparam)) ? TRUE : FALSE;
            case WM_TIMER:
                if (self->timers_.count(static_cast<int>(wparam)) == 0) {
                    return FALSE;
                }
                self->DispatchTimer(static_cast<int>(wparam));
                return TRUE;
            case kDrainMessage:
                self->Drain();
                return TRUE;
            case kCallMessage:
                (*reinterpret_cast<const std::function<void()>*>(lparam))();
                SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
                return TRUE;
            case WM_DESTROY:
                self->timers_.clear();
                self->lists_.clear();
                self->window_ = nullptr;
                SetWindowLongPtrW(window, DWLP_USER, 0);
                return FALSE;
            default:
                return FALSE;
        }
    }

    // A list view's request for a row's tool tip; the other notifications are not used.
    bool Notify(NMHDR& header) {
        if (header.code != LVN_GETINFOTIPW) {
            return false;
        }
        const auto list = lists_.find(static_cast<int>(header.idFrom));
        if (list == lists_.end()) {
            return false;
        }
        // The header is the first member of the request the control sent.
        list->second->FillInfoTip(*reinterpret_cast<NMLVGETINFOTIPW*>(&header));
        return true;
    }

    // The template's position is in the owner's client area (0,0 is its corner), whatever the
    // window system makes of a dialog placed there.
    void PlaceOverOwner() {
        HWND window = window_.load();
        POINT corner{0, 0};
        if (HWND owner = GetWindow(window, GW_OWNER)) {
            ClientToScreen(owner, &corner);
        }
        SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Reaches the window while it exists, else the thread, whose ServeUntil drains.
    void Wake() {
        HWND window = window_.load();
        if (window == nullptr || PostMessageW(window, kDrainMessage, 0, 0) == 0) {
            PostThreadMessageW(thread_, kDrainMessage, 0, reinterpret_cast<LPARAM>(this));
        }
    }

    void Drain() {
        std::deque<std::function<void()>> actions;
        {
            const std::lock_guard lock(mutex_);
            actions.swap(queue_);
        }
        for (const std::function<void()>& action : actions) {
            action();
        }
    }

    const DWORD thread_;
    std::atomic<HWND> window_{nullptr};
    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    std::map<int, std::unique_ptr<Win32ListView>> lists_;
    std::set<int> timers_;
    std::vector<HICON> icons_;
};

}  // namespace

HWND Window(const DialogWindow& dialog) {
    return static_cast<const Win32DialogBackend&>(dialog.backend()).window();
}

}  // namespace zelpack::framework::win32

namespace zelpack::framework {

std::unique_ptr<DialogBackend> MakeDialogBackend(DialogWindow& dialog) {
    return std::make_unique<win32::Win32DialogBackend>(dialog);
}

}  // namespace zelpack::framework
