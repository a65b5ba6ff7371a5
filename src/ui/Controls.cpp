// Control wrappers (see Controls.h).
#include "ui/Controls.h"

#include <vector>

namespace {

// The pixel column, in a bar `width` pixels wide, where its drawn part ends
// at `pos`.
int DrawnEnd(const PBRANGE& range, int width, int pos) {
    if (range.iHigh <= range.iLow) return 0;
    long long at = pos < range.iLow ? range.iLow : pos > range.iHigh ? range.iHigh : pos;
    return static_cast<int>((at - range.iLow) * width / (static_cast<long long>(range.iHigh) - range.iLow));
}

}  // namespace

std::string Control::GetText() const {
    int length = ::GetWindowTextLengthA(m_hWnd);
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    int got = ::GetWindowTextA(m_hWnd, buffer.data(), length + 1);
    return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

int ListView::AppendColumn(const char* text, int width) const {
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    int count = header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (count < 0) count = 0;
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(text);
    column.cx = width;
    return static_cast<int>(Send(LVM_INSERTCOLUMNA, count, reinterpret_cast<LPARAM>(&column)));
}

int ListView::InsertItem(int index, const std::string& text) const {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::SetItemText(int index, int column, const std::string& text) const {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    Send(LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
}

std::string ListView::GetItemText(int index, int column) const {
    std::vector<char> buffer(4096, '\0');
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    Send(LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    return std::string(buffer.data());
}

bool ListView::SetItemData(int index, LPARAM data) const {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    item.lParam = data;
    return Send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

LPARAM ListView::GetItemData(int index) const {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return item.lParam;
}

// The check box is the state image: 1 clear, 2 checked.
bool ListView::GetCheck(int index) const {
    UINT state = static_cast<UINT>(Send(LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void ListView::SetCheck(int index, bool checked) const {
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    Send(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

void ListView::SetSelected(int index, bool selected) const {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    Send(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

void ProgressBar::SetPos(int pos) const {
    PBRANGE range = {};
    Send(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    const int width = client.right - client.left;
    // When the drawn end stays on its pixel, the position is set with the
    // bar's visible bit off for the moment, as WM_SETREDRAW does, so the
    // control's invalidation is ignored. Unlike WM_SETREDRAW this leaves a
    // repaint already pending in place. A hidden bar is set the plain way.
    const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
    if (!(style & WS_VISIBLE) || DrawnEnd(range, width, pos) != DrawnEnd(range, width, GetPos())) {
        Send(PBM_SETPOS, pos);
        return;
    }
    ::SetWindowLongA(m_hWnd, GWL_STYLE, style & ~WS_VISIBLE);
    Send(PBM_SETPOS, pos);
    ::SetWindowLongA(m_hWnd, GWL_STYLE, style);
}
