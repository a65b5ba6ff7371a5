// The floor program of the start-up and memory benchmarks: the program's
// main window from its own resources, shown the way Quellfix shows it, with
// nothing behind it but the minimal walk of the installed-update trees and
// the given number of plain rows written into its list. Given a catalog, it
// also makes the profile-string reads the catalog rules require of every
// entry (one call per value, the file opened by Windows each time): COUNT
// and LANGUAGE, then for each entry the keys read before and after its
// first probe (the catalog's conditions and listing keys, from the
// program's table of keys).
// Usage: floor_dialog [rows, default 150] [catalog path]
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "core/CatalogModel.h"

#include "FloorWalk.h"
#include "resource.h"

namespace {

int g_rows = 150;
std::string g_catalog;

std::string Read(const std::string& section, const CatalogKey& key) {
    char value[1024];
    ::GetPrivateProfileStringA(section.c_str(), key.name, key.missing, value, sizeof value, g_catalog.c_str());
    return value;
}

// The keys list filling reads of every entry: its conditions, and the row's
// keys read before and after the first probe.
void ReadCatalog() {
    const int count = std::atoi(Read("INFO", kKeyCount).c_str());
    Read("INFO", kKeyLanguage);
    for (int number = 1; number <= count; ++number) {
        const std::string section = std::to_string(number);
        for (const CatalogKey& key : kCatalogKeys)
            if ((key.role == CatalogRole::Condition && key.id != CatalogKeyId::DotNetServicePack) ||
                key.role == CatalogRole::Listing)
                Read(section, key);
    }
}

INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) {
        std::vector<std::string> names;
        if (!g_catalog.empty()) ReadCatalog();
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
    if (commandLine && *commandLine) {
        char* rest = nullptr;
        g_rows = static_cast<int>(std::strtol(commandLine, &rest, 10));
        while (*rest == ' ') ++rest;
        g_catalog = rest;
        if (g_catalog.size() > 1 && g_catalog.front() == '"') g_catalog = g_catalog.substr(1, g_catalog.size() - 2);
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, Proc, 0);
    return 0;
}
