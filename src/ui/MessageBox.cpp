// Application-titled message boxes (see MessageBox.h).
#include "ui/MessageBox.h"

namespace {
// Written once by the main window on the GUI thread before any worker starts.
std::string& AppNameStorage() {
    static std::string name = "Quellfix";
    return name;
}

struct Unattended {
    bool on = false;
    std::vector<std::string> messages;
};
Unattended& UnattendedState() {
    static Unattended state;
    return state;
}
}  // namespace

void SetUnattended() { UnattendedState().on = true; }

void KeepForRunLog(const std::string& line) {
    if (UnattendedState().on) UnattendedState().messages.push_back(line);
}

std::vector<std::string> TakeUnattendedMessages() {
    std::vector<std::string> taken;
    taken.swap(UnattendedState().messages);
    return taken;
}

void SetAppName(const std::string& name) { AppNameStorage() = name; }

std::string AppName() { return AppNameStorage(); }

int ShowMessage(HWND owner, const std::string& text, UINT type) {
    if (UnattendedState().on) {
        UnattendedState().messages.push_back(text);
        const UINT buttons = type & MB_TYPEMASK;
        return buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDNO : IDOK;
    }
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            type |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            type |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    std::string title = AppName();
    return ::MessageBoxA(owner, text.c_str(), title.c_str(), type);
}
