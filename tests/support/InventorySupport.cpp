#include "support/InventorySupport.h"

#include <sddl.h>

#include <sstream>

#include "registry/RegistryKey.h"
#include "support/TestSupport.h"

// Declared by the headers for Vista and later only; Wine has it for every
// version it emulates.
extern "C" __declspec(dllimport) LONG WINAPI RegCopyTreeA(HKEY source, LPCSTR subKey, HKEY destination);

namespace testing_support {

RegValue SzValue(const std::string& text) { return RegValue{REG_SZ, text + std::string(1, '\0')}; }

RegValue DwordValue(DWORD value) { return {REG_DWORD, std::string(reinterpret_cast<char*>(&value), sizeof value)}; }

namespace {

std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[1024];
    DWORD length = sizeof name;
    for (DWORD i = 0; ::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name)
        names.emplace_back(name, length);
    return names;
}

// Relative to open handles: a whole path can be too long for the ANSI calls.
void DeleteChildTree(HKEY parent, const std::string& name) {
    SetKeySddl(parent, name, "D:(A;OICI;KA;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC);
    {
        CRegKeyGuard key;
        if (::RegOpenKeyExA(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.Receive()) == ERROR_SUCCESS)
            for (const std::string& child : SubKeyNames(key.Get())) DeleteChildTree(key.Get(), child);
    }
    ::RegDeleteKeyA(parent, name.c_str());
}

const char kBackups[] = "Software\\QuellfixTestBackup";

bool CopyTree(HKEY fromRoot, const std::string& from, HKEY toRoot, const std::string& to) {
    CRegKeyGuard source, target;
    return ::RegOpenKeyExA(fromRoot, from.c_str(), 0, KEY_READ, source.Receive()) == ERROR_SUCCESS &&
           ::RegCreateKeyExA(toRoot, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, target.Receive(), nullptr) ==
               ERROR_SUCCESS &&
           ::RegCopyTreeA(source.Get(), nullptr, target.Get()) == ERROR_SUCCESS;
}

}  // namespace

bool PlantKey(HKEY root, const std::string& path) {
    CRegKeyGuard key;
    return ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) ==
           ERROR_SUCCESS;
}

bool PlantValue(HKEY root, const std::string& path, const std::string& name, const RegValue& value) {
    CRegKeyGuard key;
    return ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr) ==
               ERROR_SUCCESS &&
           ::RegSetValueExA(key.Get(), name.empty() ? nullptr : name.c_str(), 0, value.type,
                            reinterpret_cast<const BYTE*>(value.bytes.data()),
                            static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& path) {
    CRegKeyGuard key;
    return ::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, key.Receive()) != ERROR_FILE_NOT_FOUND;
}

bool DeleteKeyTree(HKEY root, const std::string& path) {
    if (!KeyExists(root, path)) return true;
    std::string::size_type slash = path.rfind('\\');
    CRegKeyGuard parent;
    if (slash != std::string::npos && ::RegOpenKeyExA(root, path.substr(0, slash).c_str(), 0, KEY_ENUMERATE_SUB_KEYS,
                                                      parent.Receive()) != ERROR_SUCCESS)
        return false;
    DeleteChildTree(parent.Get() ? parent.Get() : root, slash == std::string::npos ? path : path.substr(slash + 1));
    return !KeyExists(root, path);
}

RegistryBackup::RegistryBackup(HKEY root, std::string path) : m_root(root), m_path(std::move(path)) {
    static int counter = 0;
    const std::string copy =
        std::string(kBackups) + "\\" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++counter);
    if (KeyExists(m_root, m_path)) {
        if (CopyTree(m_root, m_path, HKEY_CURRENT_USER, copy)) m_copy = copy;
        return;
    }
    // The top-most of its parents that is missing too, or itself.
    auto slash = m_path.find('\\');
    while (slash != std::string::npos && KeyExists(m_root, m_path.substr(0, slash))) slash = m_path.find('\\', slash + 1);
    m_missingFrom = m_path.substr(0, slash);
}

RegistryBackup::~RegistryBackup() {
    DeleteKeyTree(m_root, m_path);
    if (!m_copy.empty()) {
        CopyTree(HKEY_CURRENT_USER, m_copy, m_root, m_path);
        DeleteKeyTree(HKEY_CURRENT_USER, m_copy);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kBackups);  // goes once empty
    } else if (!m_missingFrom.empty()) {
        DeleteKeyTree(m_root, m_missingFrom);
    }
}

std::string KeySecurity(HKEY root, const std::string& path, SECURITY_INFORMATION info) {
    CRegKeyGuard key;
    DWORD size = 0;
    if (::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, key.Receive()) != ERROR_SUCCESS) return "";
    ::RegGetKeySecurity(key.Get(), info, nullptr, &size);
    std::string bytes(size, '\0');
    if (size == 0 || ::RegGetKeySecurity(key.Get(), info, &bytes[0], &size) != ERROR_SUCCESS) return "";
    return bytes.substr(0, size);
}

bool SetKeySddl(HKEY root, const std::string& path, const std::string& sddl, SECURITY_INFORMATION info,
                REGSAM access) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    CRegKeyGuard key;
    bool ok = ::RegOpenKeyExA(root, path.c_str(), 0, access, key.Receive()) == ERROR_SUCCESS &&
              ::RegSetKeySecurity(key.Get(), info, descriptor) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    return ok;
}

std::string InventoryFixture(const std::string& name) { return BinaryDir() + "\\tests\\inventory\\" + name; }

std::vector<std::string> RunInventoryProbe(const std::string& windowsVersion, const std::string& arguments) {
    const char defaults[] = "Software\\Wine\\AppDefaults\\probe_inventory.exe";
    RegistryBackup backup(HKEY_CURRENT_USER, defaults);
    PlantValue(HKEY_CURRENT_USER, defaults, "Version", SzValue(windowsVersion));
    ScopedTempDir dir("qfprobe");
    std::string outPath = dir.File("stdout.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    std::string commandLine = "probe_inventory.exe " + arguments;
    PROCESS_INFORMATION pi = {};
    BOOL started = ::CreateProcessA((BinaryDir() + "\\tests\\probe_inventory.exe").c_str(), &commandLine[0],
                                    nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(out);
    if (!started) return {"<not started>"};
    KernelHandle process(pi.hProcess), thread(pi.hThread);
    if (::WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 1);
        return {"<timed out>"};
    }
    std::vector<std::string> lines;
    std::istringstream in(ReadBytes(outPath));
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}

}  // namespace testing_support
