// The list-view control as the common controls' "SysListView32" in report view.
#pragma once

#include "gui/framework/list_view.h"
#include "gui/framework/win32/win32_windows.h"

namespace zelpack::framework::win32 {

class Win32ListView final : public ListView {
  public:
    explicit Win32ListView(HWND control) : control_(control) {}

    int TextWidth(std::u16string_view text) const override;
    void InsertColumn(int index, std::u16string_view title, int width) override;
    void SetColumnWidth(int index, int width) override;
    void ShowCheckBoxesAndSelectWholeRows() override;
    int RowCount() const override;
    void InsertRow(int row, std::u16string_view text) override;
    void SetText(int row, int column, std::u16string_view text) override;
    std::u16string Text(int row, int column) const override;
    void SetChecked(int row, bool ticked) override;
    bool IsChecked(int row) const override;
    void DeleteRow(int row) override;
    void DeleteAllRows() override;

  private:
    LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) const {
        return SendMessageW(control_, message, wparam, lparam);
    }

    HWND control_;
};

}  // namespace zelpack::framework::win32
