#include "app/framework/dialog_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>
#include <QTreeWidget>

#include "app/framework/qt_text.h"

namespace zelpack::framework {

using resources::ControlClass;
using resources::ControlTemplate;

QFont DialogFont(const resources::DialogTemplate& dialog) {
    QFont font;
    // The template's face first; where it is missing, the CJK faces a Linux desktop has.
    font.setFamilies({ToQString(dialog.font), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Source Han Sans SC")});
    font.setPointSize(dialog.point_size);
    return font;
}

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

DialogWindow::DialogWindow(const resources::DialogTemplate& dialog, QWidget* owner)
    : QDialog(owner) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (dialog.minimise_box) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    setWindowFlags(flags);
    setFont(DialogFont(dialog));
    units_ = DialogUnitsOf(font());
    setWindowTitle(ToQString(dialog.caption));
    setFixedSize(units_.X(dialog.width), units_.Y(dialog.height));
    CreateControls(dialog);
}

void DialogWindow::CreateControls(const resources::DialogTemplate& dialog) {
    QWidget* previous_stop = nullptr;
    for (const ControlTemplate& control : dialog.controls) {
        const QString text = ToQString(control.text);
        QWidget* widget = nullptr;
        switch (control.kind) {
            case ControlClass::PushButton: {
                auto* button = new QPushButton(text, this);
                // A push button with the focus takes Enter itself, as on Windows.
                button->setAutoDefault(true);
                const int id = control.id;
                connect(button, &QPushButton::clicked, this,
                        [this, id] { OnCommand(id, kButtonClicked); });
                widget = button;
                break;
            }
            case ControlClass::Static: {
                auto* label = new QLabel(text, this);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                label->setWordWrap(true);
                widget = label;
                break;
            }
            case ControlClass::Edit: {
                auto* edit = new QLineEdit(text, this);
                edit->installEventFilter(this);
                widget = edit;
                break;
            }
            case ControlClass::ListView:
                widget = new QTreeWidget(this);
                break;
            case ControlClass::GroupBox: {
                auto* box = new QGroupBox(text, this);
                // A frame only: it neither covers nor takes clicks from the controls inside.
                box->setAttribute(Qt::WA_TransparentForMouseEvents);
                widget = box;
                break;
            }
        }
        widget->setGeometry(units_.X(control.x), units_.Y(control.y), units_.X(control.width),
                            units_.Y(control.height));
        if (control.kind == ControlClass::GroupBox) {
            widget->lower();
        }
        if ((control.styles & resources::kTabStop) != 0) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previous_stop != nullptr) {
                setTabOrder(previous_stop, widget);
            } else {
                first_tab_stop_ = widget;
            }
            previous_stop = widget;
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        if (control.id != resources::kNoId) {
            widget->setProperty("controlId", control.id);
            items_.insert(control.id, widget);
        }
    }
}

int DialogWindow::DoModal() {
    ended_ = false;
    return exec();
}

void DialogWindow::EndDialog(int code) {
    ended_ = true;
    done(code);
}

QWidget* DialogWindow::GetDlgItem(int id) const {
    return items_.value(id, nullptr);
}

void DialogWindow::SetDlgItemText(int id, const QString& text) {
    QWidget* item = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(item)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QPushButton*>(item)) {
        button->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        edit->setText(text);
    }
}

QString DialogWindow::GetDlgItemText(int id) const {
    QWidget* item = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(item)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QPushButton*>(item)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        return edit->text();
    }
    return {};
}

void DialogWindow::SetTimer(int id, int milliseconds) {
    KillTimer(id);
    timers_.insert(id, startTimer(milliseconds));
}

void DialogWindow::KillTimer(int id) {
    if (const auto found = timers_.find(id); found != timers_.end()) {
        killTimer(found.value());
        timers_.erase(found);
    }
}

void DialogWindow::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        if (OnInitDialog() && first_tab_stop_ != nullptr) {
            first_tab_stop_->setFocus(Qt::TabFocusReason);
        }
    }
    QDialog::showEvent(event);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
            case Qt::Key_Escape:
                OnCommand(resources::kIdCancel, kButtonClicked);
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // Reaches the dialog only when the focus is not on a push button.
                OnCommand(resources::kIdOk, kButtonClicked);
                return;
            default:
                break;
        }
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    // The close box is the Cancel command; the handler decides whether the dialog ends.
    event->ignore();
    OnCommand(resources::kIdCancel, kButtonClicked);
}

void DialogWindow::timerEvent(QTimerEvent* event) {
    for (auto it = timers_.cbegin(); it != timers_.cend(); ++it) {
        if (it.value() == event->timerId()) {
            OnTimer(it.key());
            return;
        }
    }
    QDialog::timerEvent(event);
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (const QVariant id = watched->property("controlId"); id.isValid()) {
            OnCommand(id.toInt(), kEditKillFocus);
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace zelpack::framework
