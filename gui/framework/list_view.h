// A report-style list-view control of a dialog, addressed by row and column: the operations the
// file list model builds on, whatever window system draws the rows.
#pragma once

#include <string>
#include <string_view>

namespace zelpack::framework {

class ListView {
  public:
    virtual ~ListView() = default;

    // The width in pixels of `text` in the control's font.
    virtual int TextWidth(std::u16string_view text) const = 0;
    // A left-aligned column at `index`, its sub-item index equal to it.
    virtual void InsertColumn(int index, std::u16string_view title, int width) = 0;
    virtual void SetColumnWidth(int index, int width) = 0;
    // A check box on every row, and a click anywhere in a row selects the whole row.
    virtual void ShowCheckBoxesAndSelectWholeRows() = 0;

    virtual int RowCount() const = 0;
    // A row at `row` (at most the row count) whose first column reads `text`; unticked.
    virtual void InsertRow(int row, std::u16string_view text) = 0;
    virtual void SetText(int row, int column, std::u16string_view text) = 0;
    // The whole text, however long.
    virtual std::u16string Text(int row, int column) const = 0;
    // What a pointer resting on the row shows; a new row has none.
    virtual void SetToolTip(int row, std::u16string_view text) = 0;
    virtual void SetChecked(int row, bool ticked) = 0;
    virtual bool IsChecked(int row) const = 0;
    virtual void DeleteRow(int row) = 0;
    virtual void DeleteAllRows() = 0;

  protected:
    ListView() = default;
    ListView(const ListView&) = delete;
    ListView& operator=(const ListView&) = delete;
};

}  // namespace zelpack::framework
