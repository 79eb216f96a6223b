// The Win32 back end's window of a DialogWindow, for Win32-only code (the tests' driver).
#pragma once

#include "gui/framework/dialog_window.h"
#include "gui/framework/win32/win32_windows.h"

namespace zelpack::framework::win32 {

// The dialog's window; null before its modal run has created it and after it has ended.
HWND Window(const DialogWindow& dialog);

}  // namespace zelpack::framework::win32
