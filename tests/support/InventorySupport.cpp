// Registry, file and probe helpers for the inventory suites (see
// InventorySupport.h).
#include "support/InventorySupport.h"

#include <sddl.h>

#include <cstring>

#include "support/TestSupport.h"

namespace testing_support {

RegValue SzValue(const std::string& text) { return RegValue{REG_SZ, text + std::string(1, '\0')}; }

RegValue DwordValue(DWORD value) {
    return RegValue{REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

RegValue MultiSzValue(const std::vector<std::string>& strings) {
    std::string bytes;
    for (const std::string& s : strings) bytes += s + std::string(1, '\0');
    bytes += std::string(1, '\0');
    return RegValue{REG_MULTI_SZ, bytes};
}

RegValue RawValue(DWORD type, const std::string& bytes) { return RegValue{type, bytes}; }

namespace {

class Key {
public:
    Key() = default;
    ~Key() {
        if (h) ::RegCloseKey(h);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY h = nullptr;
};

std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD length = sizeof name;
        LONG r = ::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

}  // namespace

bool PlantKey(HKEY root, const std::string& path) {
    Key key;
    return ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.h,
                             nullptr) == ERROR_SUCCESS;
}

bool PlantValue(HKEY root, const std::string& path, const std::string& name, const RegValue& value) {
    Key key;
    if (::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key.h, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExA(key.h, name.empty() ? nullptr : name.c_str(), 0, value.type,
                            reinterpret_cast<const BYTE*>(value.bytes.data()),
                            static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& path) {
    Key key;
    LONG r = ::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &key.h);
    return r != ERROR_FILE_NOT_FOUND;
}

namespace {

// Deletes `name` below the open `parent` with everything under it. Works
// relative to open handles, since a whole path can be longer than the ANSI
// registry calls accept.
void DeleteChildTree(HKEY parent, const std::string& name) {
    // Keys a test locked up are opened up again; keys owned by another
    // account were given the rights to be listed and deleted when planted.
    SetKeySddl(parent, name, "D:(A;OICI;KA;;;WD)", DACL_SECURITY_INFORMATION, WRITE_DAC);
    {
        Key key;
        if (::RegOpenKeyExA(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key.h) == ERROR_SUCCESS) {
            for (const std::string& child : SubKeyNames(key.h)) DeleteChildTree(key.h, child);
        }
    }
    ::RegDeleteKeyA(parent, name.c_str());
}

}  // namespace

bool DeleteKeyTree(HKEY root, const std::string& path) {
    if (!KeyExists(root, path)) return true;
    std::string::size_type slash = path.rfind('\\');
    if (slash == std::string::npos) {
        DeleteChildTree(root, path);
    } else {
        Key parent;
        if (::RegOpenKeyExA(root, path.substr(0, slash).c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &parent.h) !=
            ERROR_SUCCESS) {
            return false;
        }
        DeleteChildTree(parent.h, path.substr(slash + 1));
    }
    return !KeyExists(root, path);
}

namespace {

// The shortest prefix of `path` that does not exist: what has to go to
// leave no trace of a key planted there.
std::string TopMostMissing(HKEY root, const std::string& path) {
    for (std::string::size_type slash = path.find('\\'); slash != std::string::npos;
         slash = path.find('\\', slash + 1)) {
        if (!KeyExists(root, path.substr(0, slash))) return path.substr(0, slash);
    }
    return path;
}

}  // namespace

struct RegistryBackup::Node {
    std::vector<std::pair<std::string, RegValue>> values;
    std::vector<std::pair<std::string, std::unique_ptr<Node>>> children;
};

namespace {

std::unique_ptr<RegistryBackup::Node> SaveTree(HKEY root, const std::string& path) {
    Key key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key.h) != ERROR_SUCCESS) return nullptr;
    std::unique_ptr<RegistryBackup::Node> node(new RegistryBackup::Node);
    DWORD longestName = 0, longestData = 0;
    ::RegQueryInfoKeyA(key.h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longestName, &longestData, nullptr, nullptr);
    for (DWORD i = 0;; ++i) {
        std::vector<char> name(2 * longestName + 2);
        std::vector<BYTE> data(longestData + 1);
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueA(key.h, i, name.data(), &nameLength, nullptr, &type, data.data(),
                            &dataLength) != ERROR_SUCCESS) {
            break;
        }
        node->values.emplace_back(
            std::string(name.data(), nameLength),
            RegValue{type, std::string(reinterpret_cast<const char*>(data.data()), dataLength)});
    }
    for (const std::string& child : SubKeyNames(key.h)) {
        std::unique_ptr<RegistryBackup::Node> saved = SaveTree(root, path + "\\" + child);
        if (saved) node->children.emplace_back(child, std::move(saved));
    }
    return node;
}

void RestoreTree(HKEY root, const std::string& path, const RegistryBackup::Node& node) {
    PlantKey(root, path);
    for (const auto& value : node.values) PlantValue(root, path, value.first, value.second);
    for (const auto& child : node.children) RestoreTree(root, path + "\\" + child.first, *child.second);
}

}  // namespace

RegistryBackup::RegistryBackup(HKEY root, std::string path)
    : m_root(root), m_path(std::move(path)), m_saved(SaveTree(m_root, m_path)) {
    if (!m_saved) m_missingFrom = TopMostMissing(m_root, m_path);
}

RegistryBackup::~RegistryBackup() {
    DeleteKeyTree(m_root, m_path);
    if (m_saved) {
        RestoreTree(m_root, m_path, *m_saved);
    } else {
        DeleteKeyTree(m_root, m_missingFrom);
    }
}

ValueBackup::ValueBackup(HKEY root, std::string path, std::string name)
    : m_root(root), m_path(std::move(path)), m_name(std::move(name)) {
    Key key;
    if (::RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_QUERY_VALUE, &key.h) != ERROR_SUCCESS) {
        m_missingFrom = TopMostMissing(m_root, m_path);
        return;
    }
    m_keyExisted = true;
    DWORD type = 0, size = 0;
    const char* valueName = m_name.empty() ? nullptr : m_name.c_str();
    if (::RegQueryValueExA(key.h, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return;
    std::vector<BYTE> data(size + 1);
    if (::RegQueryValueExA(key.h, valueName, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return;
    m_existed = true;
    m_value = RegValue{type, std::string(reinterpret_cast<const char*>(data.data()), size)};
}

ValueBackup::~ValueBackup() {
    if (m_existed) {
        PlantValue(m_root, m_path, m_name, m_value);
        return;
    }
    if (!m_keyExisted) {
        DeleteKeyTree(m_root, m_missingFrom);
        return;
    }
    Key key;
    if (::RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_SET_VALUE, &key.h) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key.h, m_name.empty() ? nullptr : m_name.c_str());
    }
}

TestKeyTree::TestKeyTree(const std::string& name) : m_path("Software\\QuellfixTest\\" + name) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, m_path);
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &m_handle, nullptr);
}

TestKeyTree::~TestKeyTree() {
    if (m_handle) ::RegCloseKey(m_handle);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, m_path);
    // The common parent goes when the last suite's key is gone.
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QuellfixTest");
}

std::string KeySecurity(HKEY root, const std::string& path, SECURITY_INFORMATION info) {
    Key key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &key.h) != ERROR_SUCCESS) return "";
    DWORD size = 0;
    ::RegGetKeySecurity(key.h, info, nullptr, &size);
    if (size == 0) return "";
    std::string bytes(size, '\0');
    if (::RegGetKeySecurity(key.h, info, &bytes[0], &size) != ERROR_SUCCESS) return "";
    bytes.resize(size);
    return bytes;
}

bool SetKeySddl(HKEY root, const std::string& path, const std::string& sddl,
                SECURITY_INFORMATION info, REGSAM access) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return false;
    }
    bool ok = false;
    Key key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, access, &key.h) == ERROR_SUCCESS) {
        ok = ::RegSetKeySecurity(key.h, info, descriptor) == ERROR_SUCCESS;
    }
    ::LocalFree(descriptor);
    return ok;
}

std::vector<AceInfo> DaclEntries(PACL dacl) {
    std::vector<AceInfo> entries;
    if (!dacl) return entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) break;
        ACCESS_ALLOWED_ACE* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        char* sidText = nullptr;
        ::ConvertSidToStringSidA(&ace->SidStart, &sidText);
        entries.push_back(AceInfo{sidText ? sidText : "?", ace->Mask, ace->Header.AceFlags});
        ::LocalFree(sidText);
    }
    return entries;
}

std::vector<AceInfo> KeyDaclEntries(HKEY root, const std::string& path) {
    std::string descriptor = KeySecurity(root, path);
    if (descriptor.empty()) return {};
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(&descriptor[0], &present, &dacl, &defaulted) || !present) return {};
    return DaclEntries(dacl);
}

std::string InventoryFixture(const std::string& name) {
    return BinaryDir() + "\\tests\\inventory\\" + name;
}

std::string SystemDirectory() {
    char buffer[MAX_PATH + 1] = {};
    ::GetSystemDirectoryA(buffer, MAX_PATH);
    return buffer;
}

std::string WindowsDirectory() {
    char buffer[MAX_PATH + 1] = {};
    ::GetWindowsDirectoryA(buffer, MAX_PATH);
    return buffer;
}

ScopedFile::ScopedFile(std::string path) : m_path(std::move(path)) {
    bool ok = false;
    std::string original = ReadBytes(m_path, &ok);
    m_hadOriginal = ok;
    if (ok) m_original = original;
}

ScopedFile::ScopedFile(ScopedFile&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_hadOriginal(other.m_hadOriginal),
      m_original(std::move(other.m_original)),
      m_ok(other.m_ok) {
    other.m_path.clear();
}

ScopedFile ScopedFile::Copy(const std::string& source, const std::string& path) {
    ScopedFile file(path);
    file.m_ok = ::CopyFileA(source.c_str(), path.c_str(), FALSE) != FALSE;
    return file;
}

ScopedFile ScopedFile::Write(const std::string& path, const std::string& bytes) {
    ScopedFile file(path);
    file.m_ok = WriteBytes(path, bytes);
    return file;
}

ScopedFile::~ScopedFile() {
    if (m_path.empty()) return;
    if (m_hadOriginal) {
        WriteBytes(m_path, m_original);
    } else {
        ::SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(m_path.c_str());
    }
}

namespace {

const char kProbeDefaults[] = "Software\\Wine\\AppDefaults\\probe_inventory.exe";

// Wine's per-program Windows version, removed again at the end of the run.
class ProbeVersion {
public:
    explicit ProbeVersion(const std::string& version) {
        if (version.empty()) return;
        m_backup.reset(new RegistryBackup(HKEY_CURRENT_USER, kProbeDefaults));
        PlantValue(HKEY_CURRENT_USER, kProbeDefaults, "Version", SzValue(version));
    }

private:
    std::unique_ptr<RegistryBackup> m_backup;
};

}  // namespace

std::string RunInventoryProbe(const std::string& windowsVersion, const std::string& arguments) {
    ProbeVersion version(windowsVersion);
    ScopedTempDir dir("qfprobe");
    std::string outPath = dir.File("stdout.txt");
    std::string exe = BinaryDir() + "\\tests\\probe_inventory.exe";

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return "<not started>";

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    std::string commandLine = "probe_inventory.exe " + arguments;
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    PROCESS_INFORMATION pi = {};
    BOOL started = ::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &si, &pi);
    ::CloseHandle(out);
    if (!started) return "<not started>";
    DWORD waited = ::WaitForSingleObject(pi.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    if (waited != WAIT_OBJECT_0) return "<timed out>";
    return ReadBytes(outPath);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace testing_support
