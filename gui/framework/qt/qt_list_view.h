// The list-view control as a QTreeWidget of top-level rows.
#pragma once

#include <QTreeWidget>

#include "gui/framework/list_view.h"

namespace zelpack::framework::qt {

class QtListView final : public ListView {
  public:
    explicit QtListView(QTreeWidget& widget);

    int TextWidth(std::u16string_view text) const override;
    void InsertColumn(int index, std::u16string_view title, int width) override;
    void SetColumnWidth(int index, int width) override;
    void ShowCheckBoxesAndSelectWholeRows() override;
    int RowCount() const override;
    void InsertRow(int row, std::u16string_view text) override;
    void SetText(int row, int column, std::u16string_view text) override;
    std::u16string Text(int row, int column) const override;
    void SetToolTip(int row, std::u16string_view text) override;
    void SetChecked(int row, bool ticked) override;
    bool IsChecked(int row) const override;
    void DeleteRow(int row) override;
    void DeleteAllRows() override;

    QTreeWidget& widget() const { return widget_; }

  private:
    QTreeWidget& widget_;
};

}  // namespace zelpack::framework::qt
