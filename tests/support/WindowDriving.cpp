// Window and process driving for tests (see WindowDriving.h).
#include "support/WindowDriving.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <set>

#include "app/Config.h"
#include "app/Globals.h"
#include "inventory/Detection.h"
#include "support/RunFixtures.h"

namespace testing_support {

BoxSequence::BoxSequence(std::string title, std::vector<int> buttons, DWORD timeoutMs, DWORD pid,
                         std::string text)
    : m_thread([this, title, buttons, timeoutMs, pid, text] {
          std::set<HWND> answered;  // a box answered may still be closing
          DWORD start = ::GetTickCount();
          while (m_texts.size() < buttons.size() && ::GetTickCount() - start < timeoutMs) {
              FoundBox box = FindMessageBox(title, pid, text);
              if (!box.hwnd || !answered.insert(box.hwnd).second) {
                  ::Sleep(20);
                  continue;
              }
              int id = buttons[m_texts.size()];
              m_texts.push_back(box.text);
              ::PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, id)));
          }
      }) {}

const std::vector<std::string>& BoxSequence::Wait() {
    if (m_thread.joinable()) m_thread.join();
    return m_texts;
}

std::string MainWindowCaption() { return std::string("Quellfix 2.0 - ") + kHomePage; }

int SystemLanguage() {
    SystemProfile p;
    DetectLanguage(p);
    return p.languageId & 0x3FF;
}

std::string CatalogEntry(int n, const std::string& title, const std::string& file,
                         const std::string& installedName) {
    return "[" + std::to_string(n) + "]\r\nTITLE=" + title + "\r\nFILENAME=" + file +
           "\r\nURL=" + HttpUrl(file) + "\r\nREGKEY=" + installedName + "\r\n";
}

std::string CatalogText(const std::string& entries, int count, int language) {
    return "[INFO]\r\nCOUNT=" + std::to_string(count) + "\r\nLANGUAGE=" +
           std::to_string(language < 0 ? SystemLanguage() : language) + "\r\n" + entries;
}

ProgramFolder::ProgramFolder() : saved(g_strProgramDir) {
    g_strProgramDir = dir.Path();
    g_bDebug = 0;
}

ProgramFolder::~ProgramFolder() {
    g_strProgramDir = saved;
    g_bDebug = 0;
    for (const std::string& name : served) ::DeleteFileA((HttpRoot() + "\\" + name).c_str());
    for (const std::string& key : keys) DeleteUninstallKey(key);
}

long ProgramFolder::Serve(const std::string& fixture, const std::string& name, bool pad) {
    bool ok = false;
    std::string bytes = ReadBytes(FixtureFile(fixture), &ok);
    EXPECT_TRUE(ok) << fixture;
    if (pad) bytes.resize((bytes.size() / 102400 + 1) * 102400, '\0');
    ServeBytes(name, bytes);
    return static_cast<long>(bytes.size());
}

void ProgramFolder::ServeBytes(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(WriteBytes(HttpRoot() + "\\" + name, bytes)) << name;
    served.push_back(name);
}

HWND FindProcessDialog(DWORD pid, const std::string& captionPrefix, const char* cls) {
    for (HWND w = ::FindWindowExA(nullptr, nullptr, cls, nullptr); w;
         w = ::FindWindowExA(nullptr, w, cls, nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(w, &owner);
        char title[1024] = {};
        ::GetWindowTextA(w, title, sizeof title);
        if (owner == pid && ::IsWindowVisible(w) && std::string(title).rfind(captionPrefix, 0) == 0)
            return w;
    }
    return nullptr;
}

// Each row's two columns, asked for through a block of the list's process.
std::vector<RemoteRow> ReadRemoteList(HWND list) {
    std::vector<RemoteRow> rows;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(list, &pid);
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return rows;
    const int textSize = 2048;
    char* block = static_cast<char*>(::VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + textSize,
                                                      MEM_COMMIT, PAGE_READWRITE));
    int count = block ? static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        RemoteRow row;
        for (int column = 0; column < 2; ++column) {
            LVITEMA item = {};
            item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
            item.iItem = i;
            item.iSubItem = column;
            item.stateMask = LVIS_STATEIMAGEMASK;
            item.pszText = block + sizeof(LVITEMA);
            item.cchTextMax = textSize;
            ::WriteProcessMemory(process, block, &item, sizeof item, nullptr);
            ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block));
            char text[textSize] = {};
            ::ReadProcessMemory(process, block + sizeof(LVITEMA), text, textSize - 1, nullptr);
            ::ReadProcessMemory(process, block, &item, sizeof item, nullptr);
            if (column == 1) {
                row.installed = text;
                continue;
            }
            row.text = text;
            row.data = item.lParam;
            row.checked = ((item.state & LVIS_STATEIMAGEMASK) >> 12) == 2;
        }
        rows.push_back(row);
    }
    if (block) ::VirtualFreeEx(process, block, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return rows;
}

TestProcess::TestProcess(const std::string& commandLine, const std::string& directory,
                         const std::string& application) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(),
                          nullptr, nullptr, FALSE, 0, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &si, &m_pi)) {
        m_pi = PROCESS_INFORMATION{};
    }
}

TestProcess::~TestProcess() {
    if (!m_pi.hProcess) return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, 10000);
    }
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
}

bool TestProcess::WaitExit(DWORD timeoutMs) {
    return m_pi.hProcess && ::WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

long TestProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (m_pi.hProcess) ::GetExitCodeProcess(m_pi.hProcess, &code);
    return static_cast<long>(code);
}

}  // namespace testing_support
