// The window framework under the dialogs: a modal dialog built from a template, whose controls
// are addressed by id and whose events arrive as the commands, timer ticks and initialisation
// that the dialog classes handle.
#pragma once

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QString>

#include "resources/dialog_templates.h"

class QEvent;
class QKeyEvent;
class QCloseEvent;
class QShowEvent;
class QTimerEvent;

namespace zelpack::framework {

// Notification codes carried with commands.
inline constexpr int kButtonClicked = 0;      // BN_CLICKED
inline constexpr int kEditKillFocus = 0x200;  // EN_KILLFOCUS

// The dialog font: the template's face with CJK fallbacks where it is missing.
QFont DialogFont(const resources::DialogTemplate& dialog);

// Dialog base units of a font, as the template geometry is scaled: x × average character width
// / 4, y × character height / 8.
struct DialogUnits {
    int base_x;
    int base_y;
    int X(int units) const { return units * base_x / 4; }
    int Y(int units) const { return units * base_y / 8; }
};
DialogUnits DialogUnitsOf(const QFont& font);

class DialogWindow : public QDialog {
  public:
    explicit DialogWindow(const resources::DialogTemplate& dialog, QWidget* owner = nullptr);

    // Runs the dialog modally; the code given to EndDialog.
    int DoModal();
    void EndDialog(int code);

    QWidget* GetDlgItem(int id) const;
    template <typename Widget>
    Widget* Item(int id) const {
        return static_cast<Widget*>(GetDlgItem(id));
    }
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;

    // Timer `id` of this dialog; ticks arrive through OnTimer on the dialog's thread.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);

    const DialogUnits& units() const { return units_; }

  protected:
    // True: the focus goes to the first tab stop of the template.
    virtual bool OnInitDialog() { return true; }
    // A command from control `id` (push button clicks, edit notifications, Enter as kIdOk,
    // Escape and the close box as kIdCancel). Unhandled commands do nothing.
    virtual void OnCommand(int id, int notification) = 0;
    virtual void OnTimer(int /*id*/) {}

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls(const resources::DialogTemplate& dialog);

    DialogUnits units_;
    QWidget* first_tab_stop_ = nullptr;
    QHash<int, QWidget*> items_;
    QHash<int, int> timers_;  // dialog timer id -> Qt timer id
    bool initialised_ = false;
    bool ended_ = false;
};

}  // namespace zelpack::framework
