#include "gui/framework/win32/win32_list_view.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace zelpack::framework::win32 {

namespace {

// The tick is the state image: 1 unticked, 2 ticked.
constexpr UINT kUnticked = 1;
constexpr UINT kTicked = 2;

// The control keeps its own copy; the message only reads the text.
LPWSTR TextArgument(const std::u16string& text) {
    return const_cast<LPWSTR>(Wide(text));
}

}  // namespace

Win32ListView::Win32ListView(HWND control) : control_(control) {
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
}

int Win32ListView::TextWidth(std::u16string_view text) const {
    const std::u16string copy(text);
    return static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(Wide(copy))));
}

void Win32ListView::InsertColumn(int index, std::u16string_view title, int width) {
    const std::u16string copy(title);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = TextArgument(copy);
    column.iSubItem = index;
    Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void Win32ListView::SetColumnWidth(int index, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = width;
    Send(LVM_SETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void Win32ListView::ShowCheckBoxesAndSelectWholeRows() {
    const auto styles = static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    // Mask 0: every extended style bit comes from the new value.
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
}

int Win32ListView::RowCount() const {
    return static_cast<int>(Send(LVM_GETITEMCOUNT, 0, 0));
}

void Win32ListView::InsertRow(int row, std::u16string_view text) {
    const std::u16string copy(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = TextArgument(copy);
    const auto inserted =
        static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted >= 0 && inserted <= static_cast<int>(tips_.size())) {
        tips_.emplace(tips_.begin() + inserted);
    }
}

void Win32ListView::SetText(int row, int column, std::u16string_view text) {
    const std::u16string copy(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = TextArgument(copy);
    Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

std::u16string Win32ListView::Text(int row, int column) const {
    // The control copies at most the buffer's size less one: grow it until the text fits.
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        buffer[0] = L'\0';
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        if (Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == 0) {
            return {};
        }
        // The control may answer with its own buffer instead of filling ours.
        const wchar_t* text = item.pszText != nullptr ? item.pszText : buffer.data();
        const std::size_t length = std::wcslen(text);
        if (length + 1 < buffer.size() || buffer.size() >= (1u << 20)) {
            return FromWide({text, length});
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

void Win32ListView::SetToolTip(int row, std::u16string_view text) {
    if (row >= 0 && row < static_cast<int>(tips_.size())) {
        tips_[static_cast<std::size_t>(row)] = text;
    }
}

void Win32ListView::FillInfoTip(NMLVGETINFOTIPW& request) const {
    if (request.iItem < 0 || request.iItem >= static_cast<int>(tips_.size()) ||
        request.pszText == nullptr || request.cchTextMax <= 0) {
        return;
    }
    const std::u16string& tip = tips_[static_cast<std::size_t>(request.iItem)];
    if (tip.empty()) {
        return;
    }
    const std::size_t length =
        std::min(tip.size(), static_cast<std::size_t>(request.cchTextMax) - 1);
    std::copy_n(Wide(tip), length, request.pszText);
    request.pszText[length] = L'\0';
}

void Win32ListView::SetChecked(int row, bool ticked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? kTicked : kUnticked);
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool Win32ListView::IsChecked(int row) const {
    const auto state =
        static_cast<UINT>(Send(LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state >> 12) == kTicked;
}

void Win32ListView::DeleteRow(int row) {
    if (Send(LVM_DELETEITEM, static_cast<WPARAM>(row), 0) != 0) {
        tips_.erase(tips_.begin() + row);
    }
}

void Win32ListView::DeleteAllRows() {
    Send(LVM_DELETEALLITEMS, 0, 0);
    tips_.clear();
}

}  // namespace zelpack::framework::win32
