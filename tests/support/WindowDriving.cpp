// Window and process driving for tests (see WindowDriving.h).
#include "support/WindowDriving.h"

#include <commctrl.h>

#include <set>

#include "support/TestSupport.h"

namespace testing_support {

BoxSequence::BoxSequence(std::string title, std::vector<int> buttons, DWORD timeoutMs, DWORD pid)
    : m_title(std::move(title)), m_buttons(std::move(buttons)), m_timeout(timeoutMs), m_pid(pid) {
    m_thread = ::CreateThread(nullptr, 0, &BoxSequence::Run, this, 0, nullptr);
}

BoxSequence::~BoxSequence() { Wait(); }

const std::vector<std::string>& BoxSequence::Wait() {
    if (m_thread) {
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
        m_thread = nullptr;
    }
    return m_texts;
}

DWORD WINAPI BoxSequence::Run(void* raw) {
    BoxSequence* self = static_cast<BoxSequence*>(raw);
    std::set<HWND> answered;
    DWORD start = ::GetTickCount();
    size_t next = 0;
    while (next < self->m_buttons.size() && ::GetTickCount() - start < self->m_timeout) {
        FoundBox box = FindMessageBox(self->m_title, self->m_pid);
        // A box already answered may still be closing: wait for a new one.
        if (box.hwnd && !answered.count(box.hwnd)) {
            answered.insert(box.hwnd);
            self->m_texts.push_back(box.text);
            int id = self->m_buttons[next++];
            ::PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, id)));
            continue;
        }
        ::Sleep(20);
    }
    return 0;
}

PlantedKey::PlantedKey(HKEY root, std::string path) : m_root(root), m_path(std::move(path)) {
    HKEY key = nullptr;
    m_ok = ::RegCreateKeyExA(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr) == ERROR_SUCCESS;
    if (key) ::RegCloseKey(key);
}

PlantedKey::~PlantedKey() { DeleteKeyTree(m_root, m_path); }

bool PlantedKey::SetString(const char* name, const std::string& value) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG r = ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

bool PlantedKey::SetDword(const char* name, DWORD value) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG r = ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    ::RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

void DeleteKeyTree(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (;;) {
            char name[512];
            DWORD size = sizeof name;
            if (::RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            DeleteKeyTree(key, name);
            // A child that cannot be deleted would loop for ever.
            HKEY probe = nullptr;
            if (::RegOpenKeyExA(key, name, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
                ::RegCloseKey(probe);
                break;
            }
        }
        ::RegCloseKey(key);
    }
    ::RegDeleteKeyA(root, path.c_str());
}

namespace {
struct DialogSearch {
    DWORD pid;
    std::string prefix;
    HWND found;
};

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !::IsWindowVisible(hwnd)) return TRUE;
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770") return TRUE;
    char title[1024] = {};
    ::GetWindowTextA(hwnd, title, sizeof title);
    if (std::string(title).compare(0, s->prefix.size(), s->prefix) != 0) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A block of memory in another process, freed when it goes away.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size) : m_process(process) {
        m_address = ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (m_address) ::VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
    }
    char* Address() const { return static_cast<char*>(m_address); }

private:
    HANDLE m_process;
    void* m_address;
};
}  // namespace

HWND FindProcessDialog(DWORD pid, const std::string& captionPrefix) {
    DialogSearch s{pid, captionPrefix, nullptr};
    ::EnumWindows(&FindDialogProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::vector<RemoteRow> ReadRemoteList(HWND list) {
    std::vector<RemoteRow> rows;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(list, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                   FALSE, pid);
    if (!process) return rows;
    {
        const SIZE_T textSize = 2048;
        RemoteBlock block(process, sizeof(LVITEMA) + textSize);
        if (block.Address()) {
            int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                RemoteRow row;
                for (int column = 0; column < 2; ++column) {
                    LVITEMA item = {};
                    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
                    item.iItem = i;
                    item.iSubItem = column;
                    item.stateMask = LVIS_STATEIMAGEMASK;
                    item.pszText = block.Address() + sizeof(LVITEMA);
                    item.cchTextMax = static_cast<int>(textSize);
                    ::WriteProcessMemory(process, block.Address(), &item, sizeof item, nullptr);
                    ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.Address()));
                    char text[2048] = {};
                    ::ReadProcessMemory(process, block.Address() + sizeof(LVITEMA), text,
                                        textSize - 1, nullptr);
                    LVITEMA back = {};
                    ::ReadProcessMemory(process, block.Address(), &back, sizeof back, nullptr);
                    if (column == 0) {
                        row.text = text;
                        row.data = back.lParam;
                        row.checked = ((back.state & LVIS_STATEIMAGEMASK) >> 12) == 2;
                    } else {
                        row.installed = text;
                    }
                }
                rows.push_back(row);
            }
        }
    }
    ::CloseHandle(process);
    return rows;
}

TestProcess::TestProcess(const std::string& commandLine, const std::string& directory,
                         const std::string& application) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
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

}  // namespace testing_support
