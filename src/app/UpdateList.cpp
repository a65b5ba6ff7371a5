// Filling the update list (see UpdateList.h).
#include "app/UpdateList.h"

#include <windows.h>

#include <vector>

#include "core/Applicability.h"
#include "catalog/CatalogFile.h"
#include "inventory/InstalledUpdates.h"
#include "registry/RegistryKey.h"
#include "ui/MessageBox.h"

const char kInstalledText[] = "설치됨";
const char kNotInstalledText[] = "설치안됨";

namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    }
    return HKEY_LOCAL_MACHINE;
}

void WriteRow(const UpdateItem& item, const ListView& list, const Button& hideInstalled) {
    int row;
    if (item.installed) {
        // The box is read at each installed entry, as the user last left it.
        if (hideInstalled.IsChecked()) return;
        row = list.InsertItem(list.GetItemCount(), item.title);
        list.SetItemText(row, 1, kInstalledText);
    } else {
        row = list.InsertItem(list.GetItemCount(), item.title);
        list.SetItemText(row, 1, kNotInstalledText);
        list.SetCheck(row, true);
    }
    list.SetItemData(list.GetItemCount() - 1, item.number);
}

}  // namespace

bool FillUpdateList(const std::string& path, const SystemProfile& profile, const ListView& list,
                    const Button& hideInstalled, const Button& startButton, std::vector<int>* pending) {
    const CatalogLookup lookup = CatalogFileLookup(path, kListFilling);
    const CatalogHeader header = ReadCatalogHeader(lookup);
    if (!CatalogLanguageMatches(header.language, profile.languageId)) {
        HWND owner = ::GetParent(list.GetHwnd());
        ShowMessage(owner, LanguageMismatchMessage(header.language, profile.languageId), MB_OK);
        startButton.Enable(false);
        return false;
    }

    std::vector<std::string> installedNames;
    CollectInstalledUpdates(installedNames);

    InstalledProbes probes;
    probes.registryKey = [](RegistryRoot root, const std::string& subKey) {
        int needsRepair = 0;
        return ProbeRegistryKey(RootKey(root), subKey, needsRepair) != FALSE;
    };
    const InstalledNameIndex installed(installedNames);
    probes.installedName = [&installed](const std::string& name) { return installed.Contains(name); };

    // The rows are written with the list's drawing off and shown in one
    // repaint at the end, not one per row.
    list.Send(WM_SETREDRAW, FALSE);
    EvaluateEntries(lookup, header.count, profile, probes,
                    [&](int number, bool listed, const UpdateItem& item, ExcludedBy) {
                        if (!listed) return;
                        WriteRow(item, list, hideInstalled);
                        if (pending && !item.installed) pending->push_back(number);
                    });
    list.Send(WM_SETREDRAW, TRUE);
    ::InvalidateRect(list.GetHwnd(), nullptr, TRUE);
    return true;
}
