#pragma once
// Helpers for tests that run against Wine's real file system and registry.
// Everything a test creates lives under C:\sorvane-tests or
// HKCU\Software\SorvaneTest and is removed when the helper goes away.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace testenv {

// A fresh folder under C:\sorvane-tests, removed with everything in it.
// With Where::Profile it lies under the user's own profile folder instead
// (C:\users\<user>\sorvane-tests), where the program cleans browsers.
class TempFolder {
public:
    enum class Where { Drive, Profile };
    explicit TempFolder(Where where = Where::Drive);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return m_path; }
    std::wstring file(std::wstring_view name) const { return m_path + L"\\" + std::wstring(name); }

private:
    std::wstring m_path;
};

// Points the program's application folder at a fresh folder for one test.
class ScopedAppFolder {
public:
    ScopedAppFolder();
    ~ScopedAppFolder();
    const std::wstring& path() const { return m_folder.path(); }
    std::wstring file(std::wstring_view name) const { return m_folder.file(name); }

private:
    TempFolder m_folder;
    std::wstring m_saved;
};

// A registry key of the test's own under HKCU\Software\SorvaneTest.
class TestKey {
public:
    TestKey();
    ~TestKey();
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;
    // Path relative to HKEY_CURRENT_USER.
    const std::wstring& path() const { return m_path; }
    std::wstring sub(std::wstring_view name) const { return m_path + L"\\" + std::wstring(name); }
    void setString(std::wstring_view sub, std::wstring_view name, std::wstring_view value, DWORD type = REG_SZ) const;
    void setDword(std::wstring_view sub, std::wstring_view name, DWORD value) const;
    void setBinary(std::wstring_view sub, std::wstring_view name, std::string_view bytes) const;
    void createSub(std::wstring_view sub) const;
    bool valueExists(std::wstring_view sub, std::wstring_view name) const;
    bool keyExists(std::wstring_view sub) const;
    int valueCount(std::wstring_view sub) const;
    int subkeyCount(std::wstring_view sub) const;

private:
    std::wstring full(std::wstring_view sub) const;
    std::wstring m_path;
};

// Sets (or, with no value, deletes) one registry value for the test's
// length and puts back what was there before.
class ScopedRegValue {
public:
    ScopedRegValue(HKEY root, std::wstring key, std::wstring name, const wchar_t* value, DWORD type = REG_SZ);
    ~ScopedRegValue();
    ScopedRegValue(const ScopedRegValue&) = delete;
    ScopedRegValue& operator=(const ScopedRegValue&) = delete;

private:
    HKEY m_root;
    std::wstring m_key, m_name;
    bool m_had = false;
    DWORD m_type = 0;
    std::string m_data;
};

// Points one of the user's shell folders (Cache, Cookies, History ...) at a
// folder for the test. The shell rewrites "Shell Folders" from "User Shell
// Folders" whenever a program asks it for a folder, so both are set.
class ScopedShellFolder {
public:
    ScopedShellFolder(const std::wstring& name, const wchar_t* path);

private:
    ScopedRegValue m_user;
    ScopedRegValue m_shell;
};

// A volatile registry link HKLM\<path> leading to HKLM\<target>; the link
// alone is removed at the end (deleting it by name would delete its target).
class ScopedRegLink {
public:
    ScopedRegLink(const std::wstring& path, const std::wstring& target);
    ~ScopedRegLink();
    ScopedRegLink(const ScopedRegLink&) = delete;
    ScopedRegLink& operator=(const ScopedRegLink&) = delete;
    bool made() const { return m_made; }

private:
    std::wstring m_path;
    bool m_made = false;
};

void writeFile(const std::wstring& path, std::string_view bytes);
// Creates the folder and its parents.
void makeDir(const std::wstring& path);
// Sets the last-write time from a local date and time.
void setWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour = 12);
std::string readFile(const std::wstring& path);
bool exists(const std::wstring& path);
// The files of a folder that match the mask, full paths, sorted.
std::vector<std::wstring> filesIn(const std::wstring& folder, const std::wstring& mask);
void removeTree(const std::wstring& path);

// Moves a file to the Recycle Bin the way the shell does; true on success.
bool sendToRecycleBin(const std::wstring& path);

// The built Sorvane.exe inside the prefix (environment SORVANE_EXE).
std::wstring sorvaneExe();

// A running Sorvane.exe copied into an application folder of its own.
class SorvaneProcess {
public:
    // Copies the executable into `appFolder` and starts it.
    explicit SorvaneProcess(const std::wstring& appFolder);
    ~SorvaneProcess();
    // The main window of this process, waiting up to `ms` for it.
    HWND waitForMainWindow(DWORD ms = 20000);
    // A top-level window of this process with the given title (message boxes).
    HWND waitForWindow(std::wstring_view title, DWORD ms);
    // Waits for the process to end; its exit code, or STILL_ACTIVE.
    DWORD waitForExit(DWORD ms);
    DWORD pid() const { return m_pi.dwProcessId; }
    HANDLE handle() const { return m_pi.hProcess; }

private:
    PROCESS_INFORMATION m_pi{};
};

// Starts the executable of `appFolder` once more (for the single-instance test).
PROCESS_INFORMATION startProcess(const std::wstring& exe);

} // namespace testenv
