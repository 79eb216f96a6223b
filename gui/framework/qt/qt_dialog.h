// The Qt back end's window of a DialogWindow, for Qt-only code (the tests' driver).
#pragma once

#include <QDialog>
#include <QFont>
#include <vector>

#include "gui/framework/dialog_window.h"

namespace zelpack::framework::qt {

// Dialog base units of a font, as the template geometry is scaled: x × average character width
// / 4, y × character height / 8.
struct DialogUnits {
    int base_x;
    int base_y;
    int X(int units) const { return units * base_x / 4; }
    int Y(int units) const { return units * base_y / 8; }
};

// The dialog font: the template's face with CJK fallbacks where it is missing.
QFont DialogFont(const resources::DialogTemplate& dialog);
DialogUnits DialogUnitsOf(const QFont& font);

// The dialog's Qt window, its controls the children named by id.
QDialog& Window(const DialogWindow& dialog);
QWidget* Item(const DialogWindow& dialog, int id);
// Every control, in template order.
const std::vector<QWidget*>& Controls(const DialogWindow& dialog);
const DialogUnits& Units(const DialogWindow& dialog);

}  // namespace zelpack::framework::qt
