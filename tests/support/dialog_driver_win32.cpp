// The dialog driver for the Win32 back end: the messages that a user's mouse and keyboard make
// the window system send, through the dialog manager where a dialog's keys go through it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "gui/framework/win32/win32_dialog.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/png_writer.h"

namespace zelpack::testing {

namespace {

using framework::DialogWindow;
using framework::win32::FromWide;
using framework::win32::Window;

HWND ItemOf(const DialogWindow& dialog, int id) {
    return GetDlgItem(Window(dialog), id);
}

Box BoxOf(const RECT& rect) {
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::u16string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return FromWide(text);
}

void PostKey(HWND target, UINT key) {
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageW(target, WM_KEYUP, key,
                 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

}  // namespace

void PrepareWindowSystem() {}

int RunModal(DialogWindow& dialog, const std::function<void()>& script) {
    // The dialog manager shows a dialog once its first messages are handled: the script starts
    // on a timer tick (which comes when the queue is empty) with the dialog on screen.
    bool ran = false;
    std::unique_ptr<Ticker> start;
    dialog.Post([&] {
        start = std::make_unique<Ticker>(10, [&] {
            if (!ran && IsWindowVisible(Window(dialog))) {
                ran = true;
                script();
            }
        });
    });
    const int code = dialog.DoModal();
    start.reset();
    EXPECT_TRUE(ran) << "the dialog never came up (end code " << code << ")";
    return code;
}

void ProcessEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        const DialogWindow* active = DialogWindow::ActiveModal();
        HWND dialog = active != nullptr ? Window(*active) : nullptr;
        if (dialog == nullptr || !IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void Click(DialogWindow& dialog, int id) {
    SendMessageW(ItemOf(dialog, id), BM_CLICK, 0, 0);
}

void Focus(DialogWindow& dialog, int id) {
    SendMessageW(Window(dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ItemOf(dialog, id)), TRUE);
    ProcessEvents();
}

void TypeInto(DialogWindow& dialog, int id, std::u16string_view text) {
    Focus(dialog, id);
    HWND edit = ItemOf(dialog, id);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    const std::u16string copy(text);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(framework::win32::Wide(copy)));
}

void Press(DialogWindow& dialog, Key key) {
    // Keys go to the dialog's control with the focus, else to the dialog itself.
    HWND target = GetFocus();
    if (target == nullptr || !IsChild(Window(dialog), target)) {
        target = Window(dialog);
    }
    PostKey(target, key == Key::Enter ? VK_RETURN : key == Key::Escape ? VK_ESCAPE : VK_TAB);
    ProcessEvents();
}

void ClickCloseBox(DialogWindow& dialog) {
    PostMessageW(Window(dialog), WM_SYSCOMMAND, SC_CLOSE, 0);
    ProcessEvents();
}

void ClickCheckBox(DialogWindow& dialog, int id, int row) {
    HWND list = ItemOf(dialog, id);
    const auto state = static_cast<UINT>(
        SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK((state >> 12) == 2 ? 1 : 2);
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

Box InPixels(const DialogWindow& dialog, Box units) {
    // Each value on its own, as the dialog manager maps a control's position and size.
    RECT rect{units.x, units.y, units.width, units.height};
    MapDialogRect(Window(dialog), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

Box ControlBox(const DialogWindow& dialog, int id) {
    RECT rect;
    if (id == resources::kNoId) {
        GetClientRect(Window(dialog), &rect);
        return BoxOf(rect);
    }
    HWND item = ItemOf(dialog, id);
    GetWindowRect(item, &rect);
    MapWindowPoints(nullptr, Window(dialog), reinterpret_cast<POINT*>(&rect), 2);
    return BoxOf(rect);
}

Box FrameBox(const DialogWindow& dialog) {
    RECT rect;
    GetWindowRect(Window(dialog), &rect);
    return BoxOf(rect);
}

Box OwnerClientBox(const DialogWindow& dialog) {
    HWND owner = GetWindow(Window(dialog), GW_OWNER);
    RECT rect;
    GetClientRect(owner, &rect);
    MapWindowPoints(owner, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return BoxOf(rect);
}

Box WorkArea(const DialogWindow& dialog) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(Window(dialog), MONITOR_DEFAULTTONEAREST), &monitor);
    return BoxOf(monitor.rcWork);
}

std::u16string Caption(const DialogWindow& dialog) {
    return TextOf(Window(dialog));
}

std::vector<std::u16string> ControlTexts(const DialogWindow& dialog) {
    std::vector<std::u16string> texts;
    for (HWND child = GetWindow(Window(dialog), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        texts.push_back(TextOf(child));
    }
    return texts;
}

int FocusedControl(const DialogWindow& dialog) {
    HWND focus = GetFocus();
    if (focus == nullptr || !IsChild(Window(dialog), focus)) {
        return resources::kNoId;
    }
    // The list view's header belongs to the list view.
    while (GetParent(focus) != Window(dialog)) {
        focus = GetParent(focus);
    }
    return GetDlgCtrlID(focus);
}

bool IsDefaultButton(const DialogWindow& dialog, int id) {
    return (GetWindowLongW(ItemOf(dialog, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

Frame FrameOf(const DialogWindow& dialog) {
    HWND window = Window(dialog);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    return {(style & WS_MINIMIZEBOX) != 0, (style & WS_MAXIMIZEBOX) != 0,
            (style & WS_THICKFRAME) != 0, SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0,
            SendMessageW(window, WM_GETICON, ICON_SMALL, 0) != 0};
}

std::vector<Column> Columns(const DialogWindow& dialog, int list_id) {
    HWND list = ItemOf(dialog, list_id);
    std::vector<Column> columns;
    for (int index = 0;; ++index) {
        wchar_t title[256] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title;
        column.cchTextMax = 256;
        if (SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(index),
                         reinterpret_cast<LPARAM>(&column)) == 0) {
            return columns;
        }
        columns.push_back({FromWide(title), column.cx});
    }
}

bool HasCheckBoxesAndWholeRowSelection(const DialogWindow& dialog, int list_id) {
    const auto styles = static_cast<DWORD>(
        SendMessageW(ItemOf(dialog, list_id), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    const DWORD wanted = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    return (styles & wanted) == wanted;
}

std::u16string ToolTipOfRow(const DialogWindow& dialog, int list_id, int row) {
    HWND list = ItemOf(dialog, list_id);
    const auto styles = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    if ((styles & LVS_EX_INFOTIP) == 0) {
        return {};  // the control would not ask
    }
    // The control's request to its dialog: the row's own text in the buffer (a folded tip), to
    // be replaced or added to.
    std::vector<wchar_t> buffer(INFOTIPSIZE, L'\0');
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    NMLVGETINFOTIPW request{};
    request.hdr.hwndFrom = list;
    request.hdr.idFrom = static_cast<UINT_PTR>(list_id);
    request.hdr.code = LVN_GETINFOTIPW;
    request.pszText = buffer.data();
    request.cchTextMax = static_cast<int>(buffer.size());
    request.iItem = row;
    SendMessageW(Window(dialog), WM_NOTIFY, static_cast<WPARAM>(list_id),
                 reinterpret_cast<LPARAM>(&request));
    return FromWide(buffer.data());
}

bool Screenshot(const DialogWindow& dialog, const std::filesystem::path& png) {
    HWND window = Window(dialog);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Painting reaches the screen while the thread waits (Wine flushes its window surfaces
    // then): a few short waits.
    for (int wait = 0; wait < 10; ++wait) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        ProcessEvents();
    }
    RECT frame;
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (bitmap == nullptr) {
        DeleteDC(memory);
        return false;
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    // What the screen shows: Wine's PrintWindow draws neither the frame nor the controls.
    HDC shown = GetDC(nullptr);
    const bool printed =
        BitBlt(memory, 0, 0, width, height, shown, frame.left, frame.top, SRCCOPY) != FALSE;
    ReleaseDC(nullptr, shown);
    GdiFlush();
    std::vector<std::uint32_t> pixels(
        static_cast<const std::uint32_t*>(bits),
        static_cast<const std::uint32_t*>(bits) + static_cast<std::size_t>(width) * height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    for (std::uint32_t& pixel : pixels) {
        pixel |= 0xFF000000u;  // a DIB section leaves the alpha byte 0
    }
    std::filesystem::create_directories(png.parent_path());
    return printed && WritePng(png, width, height, pixels);
}

struct Ticker::State {
    UINT_PTR timer = 0;
    std::function<void()> tick;
};

namespace {

// Thread timers carry no pointer of their own: found by id.
std::map<UINT_PTR, const std::function<void()>*>& Tickers() {
    static std::map<UINT_PTR, const std::function<void()>*> tickers;
    return tickers;
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR timer, DWORD) {
    if (const auto found = Tickers().find(timer); found != Tickers().end()) {
        (*found->second)();
    }
}

}  // namespace

Ticker::Ticker(int milliseconds, std::function<void()> tick) : state_(std::make_unique<State>()) {
    state_->tick = std::move(tick);
    state_->timer = SetTimer(nullptr, 0, static_cast<UINT>(milliseconds), &OnTick);
    Tickers()[state_->timer] = &state_->tick;
}

Ticker::~Ticker() {
    KillTimer(nullptr, state_->timer);
    Tickers().erase(state_->timer);
}

}  // namespace zelpack::testing
