// The floor program of the start-up and memory benchmarks: the program's
// main window from its own resources, shown the way Quellfix shows it, with
// nothing behind it but the minimal walk of the installed-update trees and
// the given number of plain rows written into its list.
// Usage: floor_dialog [rows, default 150]
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "FloorWalk.h"
#include "resource.h"

namespace {

int g_rows = 150;

INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) {
        std::vector<std::string> names;
        bench::FloorWalk(names);
        HWND list = ::GetDlgItem(hwnd, IDC_UPDATE_LIST);
        LVCOLUMNA column = {LVCF_TEXT | LVCF_WIDTH, 0, 380, const_cast<char*>("title")};
        ::SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
        for (int i = 0; i < g_rows; ++i) {
            std::string text = "row " + std::to_string(i);
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.pszText = &text[0];
            ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        }
        return TRUE;
    }
    if ((msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || msg == WM_CLOSE) {
        ::EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (commandLine && *commandLine) g_rows = std::atoi(commandLine);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, Proc, 0);
    return 0;
}
