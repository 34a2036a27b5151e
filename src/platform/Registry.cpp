#include "platform/Registry.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace sorvane {

win::UniqueKey openRegKey(HKEY hive, std::wstring_view path, REGSAM access)
{
    win::UniqueKey key;
    if (RegOpenKeyExW(hive, std::wstring(path).c_str(), 0, access | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

namespace {

// Reads a string value from an open key into a buffer of `chars` characters.
bool readString(HKEY key, std::wstring_view name, size_t chars, std::wstring& out)
{
    std::wstring buf(chars, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(chars * sizeof(wchar_t));
    if (RegQueryValueExW(key, std::wstring(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                         &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return false;
    const size_t got = bytes / sizeof(wchar_t);
    // A value that fills the whole buffer has no room for its terminator.
    if (got >= chars && buf.find(L'\0') == std::wstring::npos)
        return false;
    out = stripNull(std::wstring_view(buf.data(), got));
    return true;
}

// Subkey names in enumeration order, read with a 256-character buffer.
std::vector<std::wstring> subkeyNamesOf(HKEY key)
{
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[257] = {};
        DWORD chars = 256;
        if (RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return names;
}

} // namespace

bool isRegLink(HKEY parent, std::wstring_view subkey)
{
    win::UniqueKey key;
    const LONG rc = RegOpenKeyExW(parent, std::wstring(subkey).c_str(), REG_OPTION_OPEN_LINK,
                                  KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
    // A key that is not there is no link; one that cannot be asked may be.
    if (rc == ERROR_FILE_NOT_FOUND)
        return false;
    return rc != ERROR_SUCCESS || isRegLinkKey(key.get());
}

std::vector<std::pair<HKEY, std::wstring>>& systemRegLinks()
{
    static std::vector<std::pair<HKEY, std::wstring>> links = {
        {HKEY_CURRENT_USER, L"Software\\Classes"},
        {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet"},
    };
    return links;
}

bool isSystemRegLink(HKEY root, std::wstring_view path)
{
    while (!path.empty() && path.back() == L'\\')
        path.remove_suffix(1);
    for (const auto& [r, p] : systemRegLinks())
        if (r == root && iequals(p, path))
            return true;
    return false;
}

bool foreignLinkOnTheWay(HKEY root, std::wstring_view path)
{
    const std::vector<std::wstring> parts = split(std::wstring(path), L'\\');
    std::wstring prefix;
    for (const auto& part : parts) {
        if (part.empty())
            continue;
        prefix += (prefix.empty() ? L"" : L"\\") + part;
        if (isRegLink(root, prefix) && !isSystemRegLink(root, prefix))
            return true;
    }
    return false;
}

bool isRegLinkKey(HKEY opened)
{
    DWORD type = 0;
    return RegQueryValueExW(opened, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

std::wstring getRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    auto key = openRegKey(hive, keyPath, KEY_READ);
    std::wstring out;
    if (!key || !readString(key.get(), valueName, kRegStringChars, out))
        return L"";
    return out;
}

long getRegDword(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    auto key = openRegKey(hive, keyPath, KEY_READ);
    if (!key)
        return -1;
    DWORD type = 0, value = 0, bytes = sizeof value;
    if (RegQueryValueExW(key.get(), std::wstring(valueName).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return static_cast<long>(value);
}

std::wstring getRegValueNames(HKEY hive, std::wstring_view keyPath)
{
    auto key = openRegKey(hive, keyPath, KEY_READ);
    if (!key)
        return L"";
    std::wstring names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD nameChars = 255;
        // The data is not needed: asking for it would end the listing at the
        // first value whose data is larger than the buffer.
        if (RegEnumValueW(key.get(), index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.append(name, nameChars);
        names += L'\0';
    }
    if (!names.empty())
        names.pop_back();
    return names;
}

void deleteRegValues(HKEY hive, std::wstring_view names, std::wstring_view keyPath)
{
    auto key = openRegKey(hive, keyPath, KEY_WRITE);
    if (!key)
        return;
    if (names.find(L'\0') != std::wstring_view::npos) {
        for (const auto& name : split(names, L'\0'))
            RegDeleteValueW(key.get(), name.c_str());
    } else {
        RegDeleteValueW(key.get(), std::wstring(names).c_str());
    }
}

void clearKeyValues(std::wstring_view keyPath)
{
    const std::wstring names = getRegValueNames(HKEY_CURRENT_USER, keyPath);
    if (!names.empty())
        deleteRegValues(HKEY_CURRENT_USER, names, keyPath);
}

void setRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view text)
{
    auto key = openRegKey(hive, keyPath, KEY_WRITE);
    if (!key)
        return;
    const std::wstring data(text);
    RegSetValueExW(key.get(), std::wstring(valueName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void writeRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view text)
{
    win::UniqueKey key;
    LSTATUS rc = RegCreateKeyExW(hive, std::wstring(keyPath).c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                 nullptr, key.put(),
                                 nullptr);
    if (rc != ERROR_SUCCESS)
        raiseWin32(static_cast<unsigned long>(rc));
    const std::wstring data(text);
    rc = RegSetValueExW(key.get(), std::wstring(valueName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS)
        raiseWin32(static_cast<unsigned long>(rc));
}

long deleteRegKey(HKEY hive, std::wstring_view keyPath)
{
    // Deleting a link, or through one, would delete the key it leads to;
    // only the system's own links are followed on the way.
    if (isRegLink(hive, keyPath) || foreignLinkOnTheWay(hive, keyPath))
        return ERROR_ACCESS_DENIED;
    return RegDeleteKeyExW(hive, std::wstring(keyPath).c_str(), KEY_WOW64_64KEY, 0);
}

int16_t deleteRegTree(HKEY hive, std::wstring_view keyPath)
{
    if (isRegLink(hive, keyPath) || foreignLinkOnTheWay(hive, keyPath))
        return 0;
    auto key = openRegKey(hive, keyPath, KEY_ALL_ACCESS);
    if (!key)
        return 0;
    for (const auto& name : subkeyNamesOf(key.get())) {
        // A link stays, and so does what it leads to (and the key holding it).
        if (isRegLink(key.get(), name))
            continue;
        deleteRegTree(hive, std::wstring(keyPath) + L"\\" + name);
        RegDeleteKeyExW(key.get(), name.c_str(), KEY_WOW64_64KEY, 0);
    }
    return -1;
}

bool regKeyExists(HKEY hive, std::wstring_view keyPath)
{
    return static_cast<bool>(openRegKey(hive, keyPath, KEY_READ));
}

bool regKeyExistsInEitherView(HKEY hive, std::wstring_view keyPath)
{
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        win::UniqueKey key;
        if (RegOpenKeyExW(hive, std::wstring(keyPath).c_str(), 0, KEY_QUERY_VALUE | view, key.put()) == ERROR_SUCCESS)
            return true;
    }
    return false;
}

bool regValueExists(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    auto key = openRegKey(hive, keyPath, KEY_READ);
    return key && RegQueryValueExW(key.get(), std::wstring(valueName).c_str(), nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
}

std::vector<std::wstring> getRegSubkeyNames(HKEY hive, std::wstring_view keyPath)
{
    auto key = openRegKey(hive, keyPath, KEY_READ);
    return key ? subkeyNamesOf(key.get()) : std::vector<std::wstring>{};
}

std::wstring getUpdateValue(HKEY root, std::wstring_view keyPath, std::wstring_view valueName,
                            std::wstring_view defaultValue)
{
    win::UniqueKey key;
    if (RegCreateKeyExW(root, std::wstring(keyPath).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return L"";
    const std::wstring name(valueName);
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        const std::wstring data(defaultValue);
        RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        return L"";
    }
    std::wstring buf(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0;
    bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &bytes) !=
        ERROR_SUCCESS)
        return L"";
    return stripNull(buf);
}

} // namespace sorvane

namespace sorvane {

std::wstring getRegStringAny(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    return RegReader(hive, keyPath).stringAny(valueName);
}

RegReader::RegReader(HKEY hive, std::wstring_view keyPath)
{
    if (RegOpenKeyExW(hive, std::wstring(keyPath).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &m_key) != ERROR_SUCCESS)
        m_key = nullptr;
}

RegReader::RegReader(const RegReader& parent, std::wstring_view subkey)
{
    if (!parent.m_key ||
        RegOpenKeyExW(parent.m_key, std::wstring(subkey).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &m_key) !=
            ERROR_SUCCESS)
        m_key = nullptr;
}

RegReader::~RegReader()
{
    if (m_key)
        RegCloseKey(m_key);
}

std::vector<std::wstring> RegReader::subkeyNames() const
{
    return m_key ? subkeyNamesOf(m_key) : std::vector<std::wstring>{};
}

bool RegReader::dwordValueAt(unsigned index, std::wstring& name, long& value) const
{
    if (!m_key)
        return false;
    wchar_t buf[256] = {};
    DWORD chars = 255, type = 0, data = 0, bytes = sizeof data;
    LONG rc = RegEnumValueW(m_key, index, buf, &chars, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
    if (rc == ERROR_MORE_DATA) {
        // Data larger than a DWORD: no REG_DWORD, but the name counts.
        chars = 255;
        rc = RegEnumValueW(m_key, index, buf, &chars, nullptr, &type, nullptr, nullptr);
        type = REG_NONE;
    }
    if (rc != ERROR_SUCCESS)
        return false;
    name.assign(buf, chars);
    value = type == REG_DWORD && bytes == 4 ? static_cast<long>(data) : -1L;
    return true;
}

size_t RegReader::valueCount() const
{
    DWORD values = 0;
    if (!m_key || RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return values;
}

std::vector<std::pair<std::wstring, long>> RegReader::dwordValues() const
{
    std::vector<std::pair<std::wstring, long>> out;
    std::wstring name;
    long value = 0;
    for (unsigned i = 0; dwordValueAt(i, name, value); ++i)
        out.emplace_back(name, value);
    return out;
}

std::wstring RegReader::stringAny(std::wstring_view valueName) const
{
    if (!m_key)
        return L"";
    HKEY key = m_key;
    std::wstring buf(kRegStringChars, L'\0');
    DWORD bytes = static_cast<DWORD>(kRegStringChars * sizeof(wchar_t));
    if (RegQueryValueExW(key, std::wstring(valueName).c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buf.data()), &bytes) != ERROR_SUCCESS)
        return L"";
    const size_t got = (bytes + 1) / sizeof(wchar_t);
    if (got >= kRegStringChars && buf.find(L'\0') == std::wstring::npos)
        return L"";
    return stripNull(std::wstring_view(buf.data(), std::min(got, buf.size())));
}

std::wstring RegReader::wholeString(std::wstring_view valueName) const
{
    return m_key ? readRegText(m_key, L"", valueName).text : std::wstring();
}

int RegReader::firstByte(std::wstring_view valueName) const
{
    if (!m_key)
        return -1;
    // One read into a small buffer; only larger data is asked for twice.
    BYTE small[64];
    DWORD bytes = sizeof small;
    const std::wstring name(valueName);
    const LONG rc = RegQueryValueExW(m_key, name.c_str(), nullptr, nullptr, small, &bytes);
    if (rc == ERROR_SUCCESS)
        return bytes == 0 ? -1 : small[0];
    if (rc != ERROR_MORE_DATA || bytes == 0)
        return -1;
    std::vector<BYTE> data(bytes);
    if (RegQueryValueExW(m_key, name.c_str(), nullptr, nullptr, data.data(), &bytes) != ERROR_SUCCESS || bytes == 0)
        return -1;
    return data[0];
}

namespace {

struct RootNameEntry {
    HKEY root;
    const wchar_t* name;
};
const RootNameEntry kRoots[] = {{HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE"},
                                {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER"},
                                {HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT"},
                                {HKEY_USERS, L"HKEY_USERS"},
                                {HKEY_CURRENT_CONFIG, L"HKEY_CURRENT_CONFIG"}};

std::wstring quoted(std::wstring_view s)
{
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'"')
            out += L'\\';
        out += c;
    }
    return out + L"\"";
}

std::wstring hexBytes(const std::vector<BYTE>& data)
{
    static const wchar_t* digits = L"0123456789abcdef";
    std::wstring out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i)
            out += L',';
        // Long lines are continued the way the registry editor writes them.
        if (i && i % 25 == 0)
            out += L"\\\r\n  ";
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

// One value as a line: "name"=data.
std::wstring valueLine(const std::wstring& name, DWORD type, const std::vector<BYTE>& data)
{
    std::wstring line = (name.empty() ? std::wstring(L"@") : quoted(name)) + L"=";
    if (type == REG_SZ && data.size() % 2 == 0 && data.size() >= 2) {
        std::wstring_view text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        // Only a well-formed string is written as text; anything else keeps
        // its exact bytes.
        if (text.back() == L'\0' && text.substr(0, text.size() - 1).find(L'\0') == std::wstring_view::npos &&
            text.find_first_of(L"\r\n") == std::wstring_view::npos)
            return line + quoted(text.substr(0, text.size() - 1));
    }
    if (type == REG_DWORD && data.size() == 4) {
        wchar_t buf[16];
        swprintf(buf, 16, L"dword:%08lx", static_cast<unsigned long>(*reinterpret_cast<const DWORD*>(data.data())));
        return line + buf;
    }
    if (type == REG_BINARY)
        return line + L"hex:" + hexBytes(data);
    wchar_t prefix[24];
    swprintf(prefix, 24, L"hex(%lx):", static_cast<unsigned long>(type));
    return line + prefix + hexBytes(data);
}

bool readValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data)
{
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return false;
    data.resize(bytes);
    return RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &bytes) == ERROR_SUCCESS &&
           (data.resize(bytes), true);
}

// Every value of an open key, in enumeration order, with names of any length.
std::vector<std::wstring> valueNamesOf(HKEY key)
{
    std::vector<std::wstring> names;
    DWORD maxName = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr,
                     nullptr);
    // The longest name the key reports is a hint only: a longer one grows
    // the buffer up to the longest name the registry allows.
    std::wstring buf(std::max<size_t>(maxName, 255) + 2, L'\0');
    for (DWORD i = 0;;) {
        DWORD chars = static_cast<DWORD>(buf.size());
        const LONG rc = RegEnumValueW(key, i, buf.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA && buf.size() < 32770) {
            buf.resize(32770);
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        names.emplace_back(buf.data(), chars);
        ++i;
    }
    return names;
}

std::vector<std::wstring> allSubkeysOf(HKEY key)
{
    std::vector<std::wstring> names;
    DWORD maxName = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    std::wstring buf(std::max<size_t>(maxName, 255) + 2, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(buf.size());
        if (RegEnumKeyExW(key, i, buf.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(buf.data(), chars);
    }
    return names;
}

// Names the registry file format cannot carry: a line break would end the
// line early and turn the rest of the name into a line of its own.
bool unsafeName(std::wstring_view name)
{
    return std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20; });
}

enum class Exported { Ok, Unreadable, Unsafe };

// A key, its values and, depth first, its subkeys. `unsafe` gets the first
// name below it that the format cannot hold.
Exported exportKey(HKEY root, const std::wstring& path, std::wstring& out, std::wstring& unsafe)
{
    if (isRegLink(root, path))
        return Exported::Ok;  // never deleted, so nothing to save; and a loop ends here
    if (unsafeName(path)) {
        unsafe = rootName(root) + L"\\" + path;
        return Exported::Unsafe;
    }
    // Only a key that is not there needs no saving; one that cannot be read
    // whole (values, subkeys, its security) is never deleted.
    win::UniqueKey key;
    const LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put());
    if (rc == ERROR_FILE_NOT_FOUND)
        return Exported::Ok;
    if (rc != ERROR_SUCCESS)
        return Exported::Unreadable;
    out += L"[" + rootName(root) + L"\\" + path + L"]\r\n";
    for (const auto& name : valueNamesOf(key.get())) {
        if (unsafeName(name)) {
            unsafe = rootName(root) + L"\\" + path + L" : " + name;
            return Exported::Unsafe;
        }
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!readValue(key.get(), name, type, data))
            return Exported::Unreadable;
        out += valueLine(name, type, data) + L"\r\n";
    }
    out += L"\r\n";
    for (const auto& sub : allSubkeysOf(key.get()))
        if (const Exported e = exportKey(root, path + L"\\" + sub, out, unsafe); e != Exported::Ok)
            return e;
    return Exported::Ok;
}

} // namespace

std::wstring trimmedKey(std::wstring key)
{
    while (!key.empty() && key.back() == L'\\')
        key.pop_back();
    return key;
}

std::vector<std::wstring> getAllValueNames(HKEY hive, std::wstring_view keyPath)
{
    auto key = openRegKey(hive, keyPath, KEY_QUERY_VALUE);
    return key ? valueNamesOf(key.get()) : std::vector<std::wstring>{};
}

std::wstring rootName(HKEY root)
{
    for (const auto& r : kRoots)
        if (r.root == root)
            return r.name;
    return L"";
}

HKEY rootOfName(std::wstring_view name)
{
    for (const auto& r : kRoots)
        if (iequals(name, r.name))
            return r.root;
    return nullptr;
}

namespace {

// Where the per-user and machine hives keep the classes.
const std::wstring kClassesKey = L"Software\\Classes\\";

// Appends one item, as it lives in one hive, to `part`.
Exported exportItem(const RegItem& item, std::wstring& part, std::wstring& unsafe)
{
    const std::wstring key = trimmedKey(item.key);
    if (item.kind != RegItem::Value)
        return exportKey(item.root, key, part, unsafe);
    if (unsafeName(key) || unsafeName(item.value)) {
        unsafe = rootName(item.root) + L"\\" + key + L" : " + item.value;
        return Exported::Unsafe;
    }
    auto k = openRegKey(item.root, key, KEY_READ);
    DWORD type = 0;
    std::vector<BYTE> data;
    if (k && readValue(k.get(), item.value, type, data))
        part += L"[" + rootName(item.root) + L"\\" + key + L"]\r\n" + valueLine(item.value, type, data) + L"\r\n\r\n";
    return Exported::Ok;  // a value already gone has nothing to lose
}

} // namespace

std::vector<RegItem> whereItLives(const std::vector<RegItem>& items)
{
    std::vector<RegItem> out;
    for (const auto& item : items) {
        if (item.root != HKEY_CLASSES_ROOT) {
            out.push_back(item);
            continue;
        }
        // The merged view names no hive: the key is saved and deleted where
        // it really is, per user, machine-wide, or both.
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegItem real = item;
            real.root = hive;
            real.key = kClassesKey + trimmedKey(item.key);
            if (regKeyExists(hive, real.key))
                out.push_back(std::move(real));
        }
    }
    return out;
}

RegExport exportRegistryItems(const std::vector<RegItem>& items)
{
    RegExport result;
    std::wstring out = L"Windows Registry Editor Version 5.00\r\n\r\n";
    result.itemSaved.assign(items.size(), false);
    for (size_t index = 0; index < items.size(); ++index) {
        // An item goes whole, in every hive it lives in, or not at all.
        const std::vector<RegItem> real = whereItLives({items[index]});
        std::wstring whole, unsafe;
        Exported e = Exported::Ok;
        for (size_t i = 0; i < real.size() && e == Exported::Ok; ++i) {
            if (rootName(real[i].root).empty())
                return {};
            e = exportItem(real[i], whole, unsafe);
        }
        if (e == Exported::Unreadable)
            return {};
        if (e == Exported::Unsafe) {
            result.leftInPlace.push_back(unsafe);
            continue;
        }
        out += whole;
        result.saved.insert(result.saved.end(), real.begin(), real.end());
        result.savedFrom.insert(result.savedFrom.end(), real.size(), index);
        result.itemSaved[index] = true;
    }
    result.text = std::move(out);
    return result;
}

std::wstring registryFileText(const std::vector<RegItem>& items)
{
    RegExport e = exportRegistryItems(items);
    return e.leftInPlace.empty() ? std::move(e.text) : std::wstring();
}

std::vector<std::wstring> getRegMultiString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    std::vector<std::wstring> strings;
    auto key = openRegKey(hive, keyPath, KEY_QUERY_VALUE);
    std::vector<BYTE> data;
    DWORD type = 0;
    if (!key || !readValue(key.get(), std::wstring(valueName), type, data))
        return strings;
    const std::wstring_view all(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    if (type != REG_MULTI_SZ && type != REG_SZ && type != REG_EXPAND_SZ)
        return strings;
    for (size_t start = 0; start < all.size();) {
        const size_t end = std::min(all.find(L'\0', start), all.size());
        if (end > start)
            strings.emplace_back(all.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

RegText readRegText(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    RegText result;
    auto key = openRegKey(hive, keyPath, KEY_QUERY_VALUE);
    std::vector<BYTE> data;
    if (!key || !readValue(key.get(), std::wstring(valueName), result.type, data))
        return result;
    result.exists = true;
    result.text = stripNull(std::wstring_view(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t)));
    return result;
}

namespace {

// The kernel's name of an open key ("\\REGISTRY\\MACHINE\\SOFTWARE\\..."); "" when
// it cannot be read.
std::wstring kernelNameOf(HKEY key)
{
    using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    if (!query)
        return L"";
    constexpr int kKeyNameInformation = 3;
    std::vector<ULONG> buf(1024);
    ULONG needed = 0;
    LONG status = query(key, kKeyNameInformation, buf.data(), static_cast<ULONG>(buf.size() * sizeof(ULONG)), &needed);
    if (status < 0 && needed > buf.size() * sizeof(ULONG)) {
        buf.resize(needed / sizeof(ULONG) + 1);
        status = query(key, kKeyNameInformation, buf.data(), static_cast<ULONG>(buf.size() * sizeof(ULONG)), &needed);
    }
    if (status < 0)
        return L"";
    const ULONG bytes = std::min<ULONG>(buf[0], static_cast<ULONG>((buf.size() - 1) * sizeof(ULONG)));
    return std::wstring(reinterpret_cast<const wchar_t*>(buf.data() + 1), bytes / sizeof(wchar_t));
}

std::wstring kernelNameOf(HKEY root, const wchar_t* path)
{
    auto key = openRegKey(root, path, KEY_QUERY_VALUE);
    return key ? kernelNameOf(key.get()) : std::wstring();
}

// The rest of `name` after `prefix` and its backslash; false when `name` is
// not `prefix` or below it.
bool below(std::wstring_view name, std::wstring_view prefix, std::wstring& rest)
{
    if (prefix.empty() || name.size() < prefix.size() || !iequals(name.substr(0, prefix.size()), prefix))
        return false;
    if (name.size() == prefix.size()) {
        rest.clear();
        return true;
    }
    if (name[prefix.size()] != L'\\')
        return false;
    rest = name.substr(prefix.size() + 1);
    return true;
}

} // namespace

RealKey realKeyOf(HKEY root, std::wstring_view keyPath, REGSAM view)
{
    win::UniqueKey key;
    if (RegOpenKeyExW(root, std::wstring(keyPath).c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
        return {};
    const std::wstring name = kernelNameOf(key.get());
    // Per-user classes live in a hive of their own on Windows; the user's
    // hive and the machine's are found the same way.
    static const std::wstring userClasses = kernelNameOf(HKEY_CURRENT_USER, L"Software\\Classes");
    static const std::wstring user = [] {
        // The predefined handle itself has no name to ask for.
        win::UniqueKey hive;
        return RegOpenCurrentUser(KEY_QUERY_VALUE, hive.put()) == ERROR_SUCCESS ? kernelNameOf(hive.get())
                                                                               : std::wstring();
    }();
    std::wstring rest;
    if (below(name, userClasses, rest) && !iequals(userClasses, user + L"\\Software\\Classes"))
        return {HKEY_CURRENT_USER, rest.empty() ? L"Software\\Classes" : L"Software\\Classes\\" + rest};
    if (below(name, user, rest))
        return {HKEY_CURRENT_USER, rest};
    if (below(name, L"\\REGISTRY\\MACHINE", rest))
        return {HKEY_LOCAL_MACHINE, rest};
    return {};
}

std::vector<RealKey> keyInBothViews(HKEY root, std::wstring_view keyPath)
{
    std::vector<RealKey> keys;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        RealKey key = realKeyOf(root, keyPath, view);
        if (!key.root)
            continue;
        const bool seen = std::any_of(keys.begin(), keys.end(), [&](const RealKey& k) {
            return k.root == key.root && iequals(k.path, key.path);
        });
        if (!seen)
            keys.push_back(std::move(key));
    }
    return keys;
}

std::vector<std::wstring> keyPathsInBothViews(HKEY root, const std::wstring& keyPath)
{
    std::vector<std::wstring> paths;
    const std::wstring given = trimmedKey(keyPath);
    const bool slash = !keyPath.empty() && keyPath.back() == L'\\';
    for (const RealKey& real : keyInBothViews(root, given)) {
        if (real.root != root)
            continue;  // only the classes move between roots, and no caller walks them
        paths.push_back(iequals(real.path, given) ? keyPath : real.path + (slash ? L"\\" : L""));
    }
    return paths;
}

std::wstring keyText(const RealKey& key)
{
    return key.path.empty() ? rootName(key.root) : rootName(key.root) + L"\\" + key.path;
}

std::wstring getClassesString(std::wstring_view keyPath, std::wstring_view valueName)
{
    const std::wstring key = kClassesKey + std::wstring(keyPath);
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        if (regValueExists(hive, key, valueName))
            return getRegString(hive, key, valueName);
    return L"";
}

std::vector<std::wstring> getClassesKeyNames() { return ClassesReader().keyNames(); }

ClassesReader::ClassesReader()
    : m_user(openRegKey(HKEY_CURRENT_USER, L"Software\\Classes", KEY_READ)),
      m_machine(openRegKey(HKEY_LOCAL_MACHINE, L"Software\\Classes", KEY_READ))
{
    std::set<std::wstring> seen;
    if (m_user)
        for (auto& name : subkeyNamesOf(m_user.get())) {
            std::wstring lower = toLower(name);
            m_userNames.insert(lower);
            if (seen.insert(std::move(lower)).second)
                m_names.push_back(std::move(name));
        }
    if (m_machine)
        for (auto& name : subkeyNamesOf(m_machine.get()))
            if (seen.insert(toLower(name)).second)
                m_names.push_back(std::move(name));
}

std::wstring ClassesReader::string(std::wstring_view keyPath, std::wstring_view valueName) const
{
    // The per-user value first, even when it is empty or no text; then the machine's.
    const auto read = [&](HKEY base, std::wstring& out) {
        auto key = openRegKey(base, keyPath, KEY_READ);
        if (!key)
            return false;
        if (readString(key.get(), valueName, kRegStringChars, out))
            return true;
        // There but no text, or too long to be read: "".
        return RegQueryValueExW(key.get(), std::wstring(valueName).c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    };
    std::wstring out;
    const std::wstring first = toLower(keyPath.substr(0, keyPath.find(L'\\')));
    if (m_user && m_userNames.count(first) && read(m_user.get(), out))
        return out;
    if (m_machine)
        read(m_machine.get(), out);
    return out;
}

bool mayDeleteFileType(std::wstring_view type, std::wstring_view extension)
{
    static const wchar_t* const kSystem[] = {L"CLSID",  L"Interface", L"TypeLib", L"AppID", L"Directory",
                                             L"Folder", L"Drive",     L"*",       L"AllFilesystemObjects",
                                             L"exefile"};
    if (type.size() <= 1 || type.find_first_of(L"\\/") != std::wstring_view::npos || type.front() == L'.')
        return false;
    for (const wchar_t* name : kSystem)
        if (iequals(type, name))
            return false;
    // Shared with another extension (.log and .txt both name txtfile).
    for (const auto& name : getClassesKeyNames()) {
        if (name.empty() || name[0] != L'.' || iequals(name, extension))
            continue;
        if (iequals(getClassesString(name, L""), type))
            return false;
    }
    return true;
}

} // namespace sorvane
