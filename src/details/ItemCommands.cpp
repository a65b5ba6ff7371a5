// Item menu and the details commands (see ItemCommands.h).
#include "details/ItemCommands.h"

#include <shellapi.h>

#include "catalog/CatalogFile.h"
#include "details/DetailsDlg.h"

namespace {

const char kMenuDetails[] = "업데이트 상세 정보 보기";
const char kMenuWebPage[] = "업데이트 관련 웹 페이지 보기";
const char kMenuCheck[] = "이 업데이트 선택 하기";
const char kMenuUncheck[] = "이 업데이트 선택 하지 않기";

std::string ReadDetail(const std::string& catalogPath, int entryNumber, const CatalogKey& key) {
    return ReadCatalogValue(catalogPath, EntrySection(entryNumber), key, kDetails);
}

}  // namespace

HMENU BuildItemMenu() {
    HMENU menu = ::CreatePopupMenu();
    if (!menu) return nullptr;
    if (!::AppendMenuA(menu, MF_STRING, ID_ITEM_DETAILS, kMenuDetails) ||
        !::AppendMenuA(menu, MF_STRING, ID_ITEM_WEBPAGE, kMenuWebPage) ||
        !::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr) ||
        !::AppendMenuA(menu, MF_STRING, ID_ITEM_CHECK, kMenuCheck) ||
        !::AppendMenuA(menu, MF_STRING, ID_ITEM_UNCHECK, kMenuUncheck)) {
        ::DestroyMenu(menu);
        return nullptr;
    }
    return menu;
}

void ShowUpdateDetails(HWND owner, const std::string& catalogPath, int entryNumber) {
    std::string description = ReadDetail(catalogPath, entryNumber, kKeyDescription);
    std::string article = ReadDetail(catalogPath, entryNumber, kKeyArticle);
    CDetailsDlg dlg;
    dlg.SetDetails(description, article);
    dlg.DoModal(owner);
}

void OpenUpdateWebPage(const std::string& catalogPath, int entryNumber) {
    std::string article = ReadDetail(catalogPath, entryNumber, kKeyArticle);
    // An entry without an address has no page; the shell is not asked to
    // make sense of an empty name.
    if (article.empty()) return;
    ::ShellExecuteA(nullptr, nullptr, article.c_str(), nullptr, nullptr, SW_SHOW);
}
