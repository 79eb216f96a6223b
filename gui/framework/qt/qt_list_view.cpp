#include "gui/framework/qt/qt_list_view.h"

#include <QFontMetrics>
#include <QHeaderView>

#include "gui/framework/qt/qt_text.h"

namespace zelpack::framework::qt {

QtListView::QtListView(QTreeWidget& widget) : widget_(widget) {
    widget_.setColumnCount(0);
    widget_.setRootIsDecorated(false);
    widget_.setItemsExpandable(false);
    widget_.setSortingEnabled(false);
    widget_.setUniformRowHeights(true);
    widget_.setSelectionMode(QAbstractItemView::ExtendedSelection);
    widget_.header()->setStretchLastSection(false);
    widget_.header()->setSectionsMovable(false);
}

int QtListView::TextWidth(std::u16string_view text) const {
    return QFontMetrics(widget_.font()).horizontalAdvance(ToQString(text));
}

void QtListView::InsertColumn(int index, std::u16string_view title, int width) {
    QTreeWidgetItem* header = widget_.headerItem();
    const int count = widget_.columnCount();
    widget_.setColumnCount(count + 1);
    // Columns after `index` move one place on, titles and widths with them.
    for (int column = count; column > index; --column) {
        header->setText(column, header->text(column - 1));
        widget_.setColumnWidth(column, widget_.columnWidth(column - 1));
    }
    header->setText(index, ToQString(title));
    header->setTextAlignment(index, Qt::AlignLeft | Qt::AlignVCenter);
    widget_.setColumnWidth(index, width);
}

void QtListView::SetColumnWidth(int index, int width) {
    widget_.setColumnWidth(index, width);
}

void QtListView::ShowCheckBoxesAndSelectWholeRows() {
    // Every row is checkable already (InsertRow).
    widget_.setSelectionBehavior(QAbstractItemView::SelectRows);
}

int QtListView::RowCount() const {
    return widget_.topLevelItemCount();
}

void QtListView::InsertRow(int row, std::u16string_view text) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, ToQString(text));
    // Checkable but not a tristate, and never edited in place.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemNeverHasChildren);
    item->setCheckState(0, Qt::Unchecked);
    widget_.insertTopLevelItem(row, item);
}

void QtListView::SetText(int row, int column, std::u16string_view text) {
    if (QTreeWidgetItem* item = widget_.topLevelItem(row)) {
        item->setText(column, ToQString(text));
    }
}

std::u16string QtListView::Text(int row, int column) const {
    const QTreeWidgetItem* item = widget_.topLevelItem(row);
    return item != nullptr ? ToWide(item->text(column)) : std::u16string();
}

void QtListView::SetToolTip(int row, std::u16string_view text) {
    if (QTreeWidgetItem* item = widget_.topLevelItem(row)) {
        // On every column: the pointer may rest on the size or the date.
        for (int column = 0; column < widget_.columnCount(); ++column) {
            item->setToolTip(column, ToQString(text));
        }
    }
}

void QtListView::SetChecked(int row, bool ticked) {
    if (QTreeWidgetItem* item = widget_.topLevelItem(row)) {
        item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    }
}

bool QtListView::IsChecked(int row) const {
    const QTreeWidgetItem* item = widget_.topLevelItem(row);
    return item != nullptr && item->checkState(0) == Qt::Checked;
}

void QtListView::DeleteRow(int row) {
    delete widget_.takeTopLevelItem(row);
}

void QtListView::DeleteAllRows() {
    widget_.clear();
}

}  // namespace zelpack::framework::qt
