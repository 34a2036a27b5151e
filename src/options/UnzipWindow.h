#pragma once
// frmUnzip ("Zip Information"): the entries of one backup archive with the
// small icon of each file's type.
#include "store/BackupArchive.h"
#include "win/Dialog.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sorvane {

// Keyed small icons of file types: one image per extension, asked of the
// shell by type alone, so no file is made to ask about.
class FileIconKeys {
public:
    FileIconKeys();
    ~FileIconKeys();
    FileIconKeys(const FileIconKeys&) = delete;
    FileIconKeys& operator=(const FileIconKeys&) = delete;

    HIMAGELIST list() const noexcept { return m_list; }
    // The key of the file's type (".TXT"), or `defaultKey` for a name without
    // an extension, a program, or a type the shell has no icon for.
    std::wstring getFileIconKey(std::wstring_view fileName, const std::wstring& defaultKey = L"DEFAULT");
    int indexOf(const std::wstring& key) const;
    // The type name kept with the key's image ("Text Document").
    std::wstring typeNameOf(const std::wstring& key) const;
    size_t size() const noexcept { return m_keys.size(); }

private:
    struct Image {
        int index;
        std::wstring typeName;
    };
    HIMAGELIST m_list = nullptr;
    std::map<std::wstring, Image> m_keys;
};

// "Folder" of an archive's entry: the drive the archive's name starts with,
// ":\" and the entry's folder.
std::wstring entryFolderColumn(std::wstring_view archivePath, std::wstring_view fileDirectory);
// "Date" of an entry: short date, a blank, short time.
std::wstring entryDateColumn(const SYSTEMTIME& t);

class UnzipWindow : public win::Dialog {
public:
    std::wstring strFileName;
    void show(HINSTANCE instance, HWND owner);
    // Called as the last step of loading.
    std::function<void()> onLoaded;
    // Restores the checked entries (1-based); without it the button is hidden.
    std::function<void(const std::vector<size_t>& entries)> restoreChecked;

    HWND list() const noexcept;
    std::wstring status() const;

private:
    bool onInitDialog() override;
    void onSize(UINT type, int width, int height) override;
    bool onCommand(int id, int code, HWND control) override;
    void pOpen(const std::wstring& path);
    std::vector<size_t> checkedEntries() const;

    FileIconKeys m_icons;
};

} // namespace sorvane
