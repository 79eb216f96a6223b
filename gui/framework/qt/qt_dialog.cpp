#include "gui/framework/qt/qt_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>
#include <QTreeWidget>
#include <map>
#include <memory>
#include <vector>

#include "gui/framework/dialog_backend.h"
#include "gui/framework/qt/qt_list_view.h"
#include "gui/framework/qt/qt_text.h"
#include "resources/dialog_templates.h"

namespace zelpack::framework::qt {

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

namespace {

class QtDialogBackend;

// The Qt window: its events become the dialog's initialisation, commands and ticks.
class QtWindow final : public QDialog {
  public:
    QtWindow(QtDialogBackend& backend, const resources::DialogTemplate& dialog, QWidget* owner);
    // Before the controls go: focus moves while they are deleted.
    ~QtWindow() override { disconnect(focus_watch_); }

    QWidget* Item(int id) const { return items_.value(id, nullptr); }
    const std::vector<QWidget*>& controls() const { return controls_; }
    const DialogUnits& units() const { return units_; }
    void Ending() { ended_ = true; }
    void Starting() {
        ended_ = false;
        initialised_ = false;
    }

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls(const resources::DialogTemplate& dialog);

    QtDialogBackend& backend_;
    DialogUnits units_;
    QWidget* first_tab_stop_ = nullptr;
    QHash<int, QWidget*> items_;
    std::vector<QWidget*> controls_;  // template order
    QMetaObject::Connection focus_watch_;
    bool initialised_ = false;
    bool ended_ = false;
};

class QtDialogBackend final : public DialogBackend {
  public:
    explicit QtDialogBackend(DialogWindow& dialog)
        : DialogBackend(dialog),
          window_(*this, dialog.dialog_template(),
                  dialog.owner() != nullptr ? &Window(*dialog.owner()) : nullptr) {}

    int RunModal() override {
        window_.Starting();
        return window_.exec();
    }
    void End(int code) override {
        window_.Ending();
        window_.done(code);
    }
    void SetItemText(int id, std::u16string_view text) override {
        QWidget* item = window_.Item(id);
        if (auto* label = qobject_cast<QLabel*>(item)) {
            label->setText(ToQString(text));
        } else if (auto* button = qobject_cast<QPushButton*>(item)) {
            button->setText(ToQString(text));
        } else if (auto* edit = qobject_cast<QLineEdit*>(item)) {
            edit->setText(ToQString(text));
        } else if (auto* box = qobject_cast<QGroupBox*>(item)) {
            box->setTitle(ToQString(text));
        }
    }
    std::u16string ItemText(int id) const override {
        QWidget* item = window_.Item(id);
        if (auto* label = qobject_cast<QLabel*>(item)) {
            return ToWide(label->text());
        }
        if (auto* button = qobject_cast<QPushButton*>(item)) {
            return ToWide(button->text());
        }
        if (auto* edit = qobject_cast<QLineEdit*>(item)) {
            return ToWide(edit->text());
        }
        if (auto* box = qobject_cast<QGroupBox*>(item)) {
            return ToWide(box->title());
        }
        return {};
    }
    ListView& List(int id) override {
        auto found = lists_.find(id);
        if (found == lists_.end()) {
            auto* widget = qobject_cast<QTreeWidget*>(window_.Item(id));
            found = lists_.emplace(id, std::make_unique<QtListView>(*widget)).first;
        }
        return *found->second;
    }
    void SetTimer(int id, int milliseconds) override {
        KillTimer(id);
        timers_.emplace(id, window_.startTimer(milliseconds));
    }
    void KillTimer(int id) override {
        if (const auto found = timers_.find(id); found != timers_.end()) {
            window_.killTimer(found->second);
            timers_.erase(found);
        }
    }
    void Center() override {
        // Over the owner when it is on screen, else on the screen's work area.
        const QWidget* owner = window_.parentWidget();
        QScreen* screen = window_.screen();
        const QRect area = owner != nullptr && owner->isVisible() && !owner->isMinimized()
                               ? owner->frameGeometry()
                               : screen->availableGeometry();
        QRect frame = window_.frameGeometry();
        frame.moveCenter(area.center());
        const QRect work = screen->availableGeometry();
        frame.moveLeft(std::max(work.left(), std::min(frame.left(), work.right() - frame.width())));
        frame.moveTop(std::max(work.top(), std::min(frame.top(), work.bottom() - frame.height())));
        window_.move(frame.topLeft());
    }
    void SetIcon(int resource) override {
        if (resource == resources::kApplicationIcon) {
            QIcon icon;
            icon.addFile(QStringLiteral(":/zelpack/zelpack-16.png"), QSize(16, 16));
            icon.addFile(QStringLiteral(":/zelpack/zelpack-32.png"), QSize(32, 32));
            window_.setWindowIcon(icon);
        }
    }
    void PostTabKey() override {
        QCoreApplication::postEvent(&window_,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
    }
    void Post(std::function<void()> action) override {
        QMetaObject::invokeMethod(&window_, std::move(action), Qt::QueuedConnection);
    }
    bool Send(const std::function<void()>& action) override {
        return QMetaObject::invokeMethod(&window_, action, Qt::BlockingQueuedConnection);
    }
    void ServeUntil(const std::function<bool()>& done) override {
        while (!done()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    bool Init() { return DispatchInit(); }
    void Command(int id, int notification) { DispatchCommand(id, notification); }
    void Tick(int timer) {
        for (const auto& [id, qt_timer] : timers_) {
            if (qt_timer == timer) {
                DispatchTimer(id);
                return;
            }
        }
    }
    bool OwnsTimer(int timer) const {
        for (const auto& [id, qt_timer] : timers_) {
            if (qt_timer == timer) {
                return true;
            }
        }
        return false;
    }
    QtWindow& window() { return window_; }

  private:
    QtWindow window_;
    std::map<int, std::unique_ptr<QtListView>> lists_;
    std::map<int, int> timers_;  // dialog timer id -> Qt timer id
};

QtWindow::QtWindow(QtDialogBackend& backend, const resources::DialogTemplate& dialog,
                   QWidget* owner)
    : QDialog(owner), backend_(backend) {
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
    // As in a Windows dialog, the default button is the push button with the focus, and none
    // when the focus is elsewhere (Qt would keep the last one).
    focus_watch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* control : controls_) {
            if (auto* button = qobject_cast<QPushButton*>(control)) {
                button->setDefault(button == now);
            }
        }
    });
}

void QtWindow::CreateControls(const resources::DialogTemplate& dialog) {
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
                        [this, id] { backend_.Command(id, kButtonClicked); });
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
        controls_.push_back(widget);
        if (control.id != resources::kNoId) {
            widget->setProperty("controlId", control.id);
            items_.insert(control.id, widget);
        }
    }
}

void QtWindow::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        // At the template position over the owner's client area, as a dialog manager places a
        // dialog that its code does not move.
        const QWidget* owner = parentWidget();
        move(owner != nullptr ? owner->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0));
        if (backend_.Init() && first_tab_stop_ != nullptr) {
            first_tab_stop_->setFocus(Qt::TabFocusReason);
        }
    }
    QDialog::showEvent(event);
}

void QtWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
            case Qt::Key_Escape:
                backend_.Command(resources::kIdCancel, kButtonClicked);
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // Reaches the dialog only when the focus is not on a push button.
                backend_.Command(resources::kIdOk, kButtonClicked);
                return;
            default:
                break;
        }
    }
    QDialog::keyPressEvent(event);
}

void QtWindow::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    // The close box is the Cancel command; the handler decides whether the dialog ends.
    event->ignore();
    backend_.Command(resources::kIdCancel, kButtonClicked);
}

void QtWindow::timerEvent(QTimerEvent* event) {
    if (backend_.OwnsTimer(event->timerId())) {
        backend_.Tick(event->timerId());
        return;
    }
    QDialog::timerEvent(event);
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (const QVariant id = watched->property("controlId"); id.isValid()) {
            backend_.Command(id.toInt(), kEditKillFocus);
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace

QDialog& Window(const DialogWindow& dialog) {
    return static_cast<QtDialogBackend&>(dialog.backend()).window();
}

QWidget* Item(const DialogWindow& dialog, int id) {
    return static_cast<QtDialogBackend&>(dialog.backend()).window().Item(id);
}

const std::vector<QWidget*>& Controls(const DialogWindow& dialog) {
    return static_cast<QtDialogBackend&>(dialog.backend()).window().controls();
}

const DialogUnits& Units(const DialogWindow& dialog) {
    return static_cast<QtDialogBackend&>(dialog.backend()).window().units();
}

}  // namespace zelpack::framework::qt

namespace zelpack::framework {

std::unique_ptr<DialogBackend> MakeDialogBackend(DialogWindow& dialog) {
    return std::make_unique<qt::QtDialogBackend>(dialog);
}

}  // namespace zelpack::framework
