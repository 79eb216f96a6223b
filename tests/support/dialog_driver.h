// The tests' hands and eyes on a dialog: what a user does (clicks, typing, keys, ticks, the
// close box) as the window system delivers it, and what the user sees, for both back ends.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "gui/framework/dialog_window.h"

namespace zelpack::testing {

// Before the application object: the window system's set-up for tests.
void PrepareWindowSystem();

// --- Acting ---

// Runs `script` on the dialog's thread once `dialog` is up inside DoModal, and returns DoModal's
// end code. The script may act on the dialog, run nested dialogs, and end it.
int RunModal(framework::DialogWindow& dialog, const std::function<void()>& script);
// Delivers what the window system has queued for the UI thread (posted keys, timers, posts).
void ProcessEvents();
void Click(framework::DialogWindow& dialog, int id);
// Gives control `id` the focus (the one that had it loses it), as a click into it does.
void Focus(framework::DialogWindow& dialog, int id);
// Focuses the edit control `id`, selects its text and types `text` over it.
void TypeInto(framework::DialogWindow& dialog, int id, std::u16string_view text);
enum class Key { Enter, Escape, Tab };
// A key press on the control with the focus, through the dialog's own key handling.
void Press(framework::DialogWindow& dialog, Key key);
void ClickCloseBox(framework::DialogWindow& dialog);
// A click on the check box of `row` in list view `id`: toggles its tick.
void ClickCheckBox(framework::DialogWindow& dialog, int id, int row);

// --- Looking ---

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};
// The dialog unit rectangle `units` in the dialog's client pixels, as the window system maps it.
Box InPixels(const framework::DialogWindow& dialog, Box units);
// Control `id` in client pixels; the client area (x, y 0) for kNoId.
Box ControlBox(const framework::DialogWindow& dialog, int id);
// Screen pixels: the window with its frame, the owner's client area, the work area.
Box FrameBox(const framework::DialogWindow& dialog);
Box OwnerClientBox(const framework::DialogWindow& dialog);
Box WorkArea(const framework::DialogWindow& dialog);
std::u16string Caption(const framework::DialogWindow& dialog);
// Ids of controls with text `text` that are not addressable by id (static texts, group boxes)
// count too: every control's text in template order.
std::vector<std::u16string> ControlTexts(const framework::DialogWindow& dialog);
// The control with the focus; resources::kNoId when none of the dialog's has it.
int FocusedControl(const framework::DialogWindow& dialog);
// Whether push button `id` is drawn as the default button (takes Enter).
bool IsDefaultButton(const framework::DialogWindow& dialog, int id);

struct Frame {
    bool minimise_box = false;
    bool maximise_box = false;
    bool resizable = false;
    bool big_icon = false;
    bool small_icon = false;
};
Frame FrameOf(const framework::DialogWindow& dialog);

struct Column {
    std::u16string title;
    int width = 0;
    bool operator==(const Column&) const = default;
};
std::vector<Column> Columns(const framework::DialogWindow& dialog, int list_id);
bool HasCheckBoxesAndWholeRowSelection(const framework::DialogWindow& dialog, int list_id);
// What a pointer resting on `row` of list view `list_id` shows, asked for as the window system
// asks for it; empty when nothing.
std::u16string ToolTipOfRow(const framework::DialogWindow& dialog, int list_id, int row);

// The dialog as the user sees it, frame and caption included, as a PNG file.
bool Screenshot(const framework::DialogWindow& dialog, const std::filesystem::path& png);

// Every `milliseconds` while it lives, on the UI thread, also inside modal runs.
class Ticker {
  public:
    Ticker(int milliseconds, std::function<void()> tick);
    ~Ticker();
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zelpack::testing
