// The dialog driver for the Qt back end: Qt's test events on the dialog's widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "gui/framework/qt/qt_dialog.h"
#include "gui/framework/qt/qt_text.h"
#include "tests/support/dialog_driver.h"

namespace zelpack::testing {

namespace {

using framework::DialogWindow;
using framework::qt::ToWide;

QWidget* ItemOf(const DialogWindow& dialog, int id) {
    return framework::qt::Item(dialog, id);
}

Box BoxOf(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

}  // namespace

void PrepareWindowSystem() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt wants a private runtime folder; CI machines often have none.
    static QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid()) {
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    }
}

int RunModal(DialogWindow& dialog, const std::function<void()>& script) {
    bool ran = false;
    dialog.Post([&] {
        ran = true;
        QWidget& window = framework::qt::Window(dialog);
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window);
        script();
    });
    const int code = dialog.DoModal();
    EXPECT_TRUE(ran) << "the dialog never came up (end code " << code << ")";
    return code;
}

void ProcessEvents() {
    QApplication::processEvents();
    QApplication::sendPostedEvents();
    QApplication::processEvents();
}

void Click(DialogWindow& dialog, int id) {
    QWidget* item = ItemOf(dialog, id);
    if (auto* button = qobject_cast<QPushButton*>(item)) {
        // A click focuses the button before it reports, as on Windows.
        button->setFocus(Qt::MouseFocusReason);
        button->click();
    } else {
        QTest::mouseClick(item, Qt::LeftButton);
    }
}

void Focus(DialogWindow& dialog, int id) {
    ItemOf(dialog, id)->setFocus(Qt::MouseFocusReason);
    ProcessEvents();
}

void TypeInto(DialogWindow& dialog, int id, std::u16string_view text) {
    auto* edit = qobject_cast<QLineEdit*>(ItemOf(dialog, id));
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    edit->del();
    QTest::keyClicks(edit, framework::qt::ToQString(text));
}

void Press(DialogWindow& dialog, Key key) {
    // Keys go to the dialog's control with the focus, else to the dialog itself.
    QWidget* window = &framework::qt::Window(dialog);
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr || !window->isAncestorOf(target)) {
        target = window;
    }
    const Qt::Key code = key == Key::Enter    ? Qt::Key_Return
                         : key == Key::Escape ? Qt::Key_Escape
                                              : Qt::Key_Tab;
    QTest::keyClick(target, code);
    ProcessEvents();
}

void ClickCloseBox(DialogWindow& dialog) {
    framework::qt::Window(dialog).close();
}

void ClickCheckBox(DialogWindow& dialog, int id, int row) {
    auto* list = qobject_cast<QTreeWidget*>(ItemOf(dialog, id));
    QTreeWidgetItem* item = list->topLevelItem(row);
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

Box InPixels(const DialogWindow& dialog, Box units) {
    const framework::qt::DialogUnits& u = framework::qt::Units(dialog);
    return {u.X(units.x), u.Y(units.y), u.X(units.width), u.Y(units.height)};
}

Box ControlBox(const DialogWindow& dialog, int id) {
    if (id == resources::kNoId) {
        const QSize size = framework::qt::Window(dialog).size();
        return {0, 0, size.width(), size.height()};
    }
    return BoxOf(ItemOf(dialog, id)->geometry());
}

Box FrameBox(const DialogWindow& dialog) {
    return BoxOf(framework::qt::Window(dialog).frameGeometry());
}

Box OwnerClientBox(const DialogWindow& dialog) {
    const QWidget* owner = framework::qt::Window(dialog).parentWidget();
    return BoxOf(QRect(owner->mapToGlobal(QPoint(0, 0)), owner->size()));
}

Box WorkArea(const DialogWindow& dialog) {
    return BoxOf(framework::qt::Window(dialog).screen()->availableGeometry());
}

std::u16string Caption(const DialogWindow& dialog) {
    return ToWide(framework::qt::Window(dialog).windowTitle());
}

std::vector<std::u16string> ControlTexts(const DialogWindow& dialog) {
    std::vector<std::u16string> texts;
    for (const QWidget* child : framework::qt::Controls(dialog)) {
        if (auto* label = qobject_cast<const QLabel*>(child)) {
            texts.push_back(ToWide(label->text()));
        } else if (auto* button = qobject_cast<const QPushButton*>(child)) {
            texts.push_back(ToWide(button->text()));
        } else if (auto* edit = qobject_cast<const QLineEdit*>(child)) {
            texts.push_back(ToWide(edit->text()));
        } else if (auto* box = qobject_cast<const QGroupBox*>(child)) {
            texts.push_back(ToWide(box->title()));
        } else if (qobject_cast<const QTreeWidget*>(child) != nullptr) {
            texts.emplace_back();
        }
    }
    return texts;
}

int FocusedControl(const DialogWindow& dialog) {
    const QWidget* focus = QApplication::focusWidget();
    for (const resources::ControlTemplate& control : dialog.dialog_template().controls) {
        if (control.id != resources::kNoId && ItemOf(dialog, control.id) == focus) {
            return control.id;
        }
    }
    return resources::kNoId;
}

bool IsDefaultButton(const DialogWindow& dialog, int id) {
    auto* button = qobject_cast<QPushButton*>(ItemOf(dialog, id));
    return button != nullptr && button->isDefault();
}

Frame FrameOf(const DialogWindow& dialog) {
    const QWidget& window = framework::qt::Window(dialog);
    const QIcon icon = window.windowIcon();
    return {window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint),
            window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint),
            window.minimumSize() != window.maximumSize(), !icon.pixmap(32, 32).isNull(),
            !icon.pixmap(16, 16).isNull()};
}

std::vector<Column> Columns(const DialogWindow& dialog, int list_id) {
    auto* list = qobject_cast<QTreeWidget*>(ItemOf(dialog, list_id));
    std::vector<Column> columns;
    for (int column = 0; column < list->columnCount(); ++column) {
        columns.push_back({ToWide(list->headerItem()->text(column)), list->columnWidth(column)});
    }
    return columns;
}

bool HasCheckBoxesAndWholeRowSelection(const DialogWindow& dialog, int list_id) {
    auto* list = qobject_cast<QTreeWidget*>(ItemOf(dialog, list_id));
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        if (!list->topLevelItem(row)->flags().testFlag(Qt::ItemIsUserCheckable)) {
            return false;
        }
    }
    return list->selectionBehavior() == QAbstractItemView::SelectRows;
}

std::u16string ToolTipOfRow(const DialogWindow& dialog, int list_id, int row) {
    auto* list = qobject_cast<QTreeWidget*>(ItemOf(dialog, list_id));
    // What the view's tool tip event reads: the model's tool tip of the cell under the pointer.
    const QModelIndex cell = list->model()->index(row, 0);
    return ToWide(list->model()->data(cell, Qt::ToolTipRole).toString());
}

// The client area under a plain title bar with the icon and caption: what a window manager
// would draw around it, so that the picture shows the caption too.
bool Screenshot(const DialogWindow& dialog, const std::filesystem::path& png) {
    QWidget& window = framework::qt::Window(dialog);
    const QPixmap client = window.grab();
    const int bar = 28;
    QImage image(client.width() + 2, client.height() + bar + 1, QImage::Format_ARGB32);
    image.fill(QColor(0x5a, 0x7f, 0xb5));
    QPainter painter(&image);
    painter.drawPixmap(1, bar, client);
    const QIcon icon = window.windowIcon();
    int text_left = 8;
    if (!icon.isNull()) {
        painter.drawPixmap(6, (bar - 16) / 2, icon.pixmap(16, 16));
        text_left = 28;
    }
    painter.setPen(Qt::white);
    painter.setFont(window.font());
    painter.drawText(QRect(text_left, 0, image.width() - text_left, bar),
                     Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    painter.drawText(QRect(0, 0, image.width() - 10, bar), Qt::AlignVCenter | Qt::AlignRight,
                     window.windowFlags() & Qt::WindowMinimizeButtonHint ? QStringLiteral("—   ✕")
                                                                         : QStringLiteral("✕"));
    painter.end();
    QDir().mkpath(QString::fromStdString(png.parent_path().string()));
    return image.save(QString::fromStdString(png.string()));
}

struct Ticker::State {
    QTimer timer;
};

Ticker::Ticker(int milliseconds, std::function<void()> tick) : state_(std::make_unique<State>()) {
    state_->timer.callOnTimeout(std::move(tick));
    state_->timer.start(milliseconds);
}

Ticker::~Ticker() = default;

}  // namespace zelpack::testing
