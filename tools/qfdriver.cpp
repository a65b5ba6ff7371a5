// qfdriver: drives Quellfix's windows from outside, as a user would, for the
// demo script and screenshots. It only finds windows and sends them the
// messages a mouse click or key press would.
//
//   qfdriver wait-window CAPTION-PREFIX [TIMEOUT-MS]   wait until it is shown
//   qfdriver close CAPTION-PREFIX                      close it (WM_CLOSE)
//   qfdriver press TITLE BUTTON-ID [TIMEOUT-MS]        press a button of a message box
//   qfdriver click CAPTION-PREFIX CONTROL-ID           click a button control
//   qfdriver text CAPTION-PREFIX CONTROL-ID            print a control's text
//   qfdriver wait-text CAPTION-PREFIX CONTROL-ID TEXT [TIMEOUT-MS]
//                                                      wait until a control shows TEXT
//   qfdriver wait-rows CAPTION-PREFIX MIN [TIMEOUT-MS] wait until the update list
//                                                      has at least MIN rows
//
// Exit code 0 on success, 1 when the window did not appear in time.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Search {
    std::string prefix;
    bool exact;
    HWND found;
    bool messageBox = false;  // only windows with a message box's text control
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    if (!::IsWindowVisible(hwnd)) return TRUE;
    char title[1024] = {};
    ::GetWindowTextA(hwnd, title, sizeof title);
    bool match = s->exact ? s->prefix == title
                          : std::strncmp(title, s->prefix.c_str(), s->prefix.size()) == 0;
    if (!match) return TRUE;
    if (s->messageBox && !::GetDlgItem(hwnd, 0xFFFF)) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindTopLevel(const std::string& prefix, bool exact, DWORD timeoutMs, bool messageBox = false) {
    DWORD start = ::GetTickCount();
    for (;;) {
        Search s{prefix, exact, nullptr, messageBox};
        ::EnumWindows(&FindProc, reinterpret_cast<LPARAM>(&s));
        if (s.found || ::GetTickCount() - start >= timeoutMs) return s.found;
        ::Sleep(50);
    }
}

// The text of a control, asked of the control itself (works across processes).
std::string ControlText(HWND dialog, int id) {
    char text[8192] = {};
    ::SendDlgItemMessageA(dialog, id, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

int Usage() {
    std::fprintf(stderr, "usage: qfdriver wait-window|close|press|click|text ...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    std::string cmd = argv[1];
    if (cmd == "wait-window") {
        DWORD timeout = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 30000;
        return FindTopLevel(argv[2], false, timeout) ? 0 : 1;
    }
    if (cmd == "close") {
        HWND hwnd = FindTopLevel(argv[2], false, 5000);
        if (!hwnd) return 1;
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == "press" && argc >= 4) {
        DWORD timeout = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 30000;
        HWND box = FindTopLevel(argv[2], true, timeout, true);
        if (!box) return 1;
        int id = std::atoi(argv[3]);
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
        return 0;
    }
    if (cmd == "click" && argc >= 4) {
        HWND hwnd = FindTopLevel(argv[2], false, 30000);
        if (!hwnd) return 1;
        // The button clicks itself: a check box changes state as under the mouse.
        HWND button = ::GetDlgItem(hwnd, std::atoi(argv[3]));
        if (!button) return 1;
        ::PostMessageA(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == "text" && argc >= 4) {
        HWND hwnd = FindTopLevel(argv[2], false, 30000);
        if (!hwnd) return 1;
        std::printf("%s\n", ControlText(hwnd, std::atoi(argv[3])).c_str());
        return 0;
    }
    if (cmd == "wait-text" && argc >= 5) {
        DWORD timeout = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 60000;
        DWORD start = ::GetTickCount();
        HWND hwnd = FindTopLevel(argv[2], false, timeout);
        if (!hwnd) return 1;
        while (ControlText(hwnd, std::atoi(argv[3])) != argv[4]) {
            if (::GetTickCount() - start >= timeout || !::IsWindow(hwnd)) return 1;
            ::Sleep(100);
        }
        return 0;
    }
    if (cmd == "wait-rows" && argc >= 4) {
        DWORD timeout = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 60000;
        DWORD start = ::GetTickCount();
        HWND hwnd = FindTopLevel(argv[2], false, timeout);
        if (!hwnd) return 1;
        LRESULT want = std::atoi(argv[3]);
        while (::SendDlgItemMessageA(hwnd, 1006, LVM_GETITEMCOUNT, 0, 0) < want) {
            if (::GetTickCount() - start >= timeout || !::IsWindow(hwnd)) return 1;
            ::Sleep(100);
        }
        return 0;
    }
    return Usage();
}
