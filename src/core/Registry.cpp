#include "core/Registry.h"

#include "core/Text.h"
#include "win/UniqueHandle.h"

namespace sorvane {

namespace {

win::UniqueKey openKey(HKEY hive, std::wstring_view path, REGSAM access)
{
    win::UniqueKey key;
    if (RegOpenKeyExW(hive, std::wstring(path).c_str(), 0, access, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

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

std::wstring getRegString(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    auto key = openKey(hive, keyPath, KEY_READ);
    std::wstring out;
    if (!key || !readString(key.get(), valueName, kRegStringChars, out))
        return L"";
    return out;
}

long getRegDword(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    auto key = openKey(hive, keyPath, KEY_READ);
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
    auto key = openKey(hive, keyPath, KEY_READ);
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
    auto key = openKey(hive, keyPath, KEY_WRITE);
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
    auto key = openKey(hive, keyPath, KEY_WRITE);
    if (!key)
        return;
    const std::wstring data(text);
    RegSetValueExW(key.get(), std::wstring(valueName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void deleteRegKey(HKEY hive, std::wstring_view keyPath)
{
    RegDeleteKeyW(hive, std::wstring(keyPath).c_str());
}

int16_t deleteRegTree(HKEY hive, std::wstring_view keyPath)
{
    auto key = openKey(hive, keyPath, KEY_ALL_ACCESS);
    if (!key)
        return 0;
    for (const auto& name : subkeyNamesOf(key.get())) {
        deleteRegTree(hive, std::wstring(keyPath) + L"\\" + name);
        RegDeleteKeyW(key.get(), name.c_str());
    }
    return -1;
}

bool regKeyExists(HKEY hive, std::wstring_view keyPath)
{
    return static_cast<bool>(openKey(hive, keyPath, KEY_READ));
}

bool regValueExists(HKEY hive, std::wstring_view keyPath, std::wstring_view valueName)
{
    auto key = openKey(hive, keyPath, KEY_READ);
    return key && RegQueryValueExW(key.get(), std::wstring(valueName).c_str(), nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
}

std::vector<std::wstring> getRegSubkeyNames(HKEY hive, std::wstring_view keyPath)
{
    auto key = openKey(hive, keyPath, KEY_READ);
    return key ? subkeyNamesOf(key.get()) : std::vector<std::wstring>{};
}

std::wstring getUpdateValue(HKEY root, std::wstring_view keyPath, std::wstring_view valueName,
                            std::wstring_view defaultValue)
{
    win::UniqueKey key;
    if (RegCreateKeyExW(root, std::wstring(keyPath).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
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
