// The list-view control as the common controls' "SysListView32" in report view.
#pragma once

#include <string>
#include <vector>

#include "gui/framework/list_view.h"
#include "gui/framework/win32/win32_windows.h"

namespace zelpack::framework::win32 {

class Win32ListView final : public ListView {
  public:
    // Asks the control for tool tips (LVS_EX_INFOTIP), which it requests from the dialog by
    // LVN_GETINFOTIPW; the dialog answers through FillInfoTip.
    explicit Win32ListView(HWND control);

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

    // Copies the row's tool tip into the request's buffer, cut to its size; leaves the buffer as
    // the control filled it for a row without one.
    void FillInfoTip(NMLVGETINFOTIPW& request) const;

  private:
    LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) const {
        return SendMessageW(control_, message, wparam, lparam);
    }

    HWND control_;
    // One per row, in row order: the control has no place for them. Rows change only here.
    std::vector<std::u16string> tips_;
};

}  // namespace zelpack::framework::win32
