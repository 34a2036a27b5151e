#include "options/BackupsTab.h"

#include "core/Deletion.h"
#include "core/FileSearch.h"
#include "options/OptionsTabs.h"
#include "options/OptionsWindow.h"
#include "options/OverwriteWindow.h"
#include "options/UnzipWindow.h"
#include "platform/AppFolder.h"
#include "platform/ErrorReport.h"
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "resource.h"
#include "store/BackupArchive.h"
#include "store/BackupLedger.h"
#include "store/RegistryUndo.h"
#include "store/Settings.h"
#include "store/StartupSettings.h"
#include "store/Zip.h"
#include "win/ListColumns.h"

#include <commctrl.h>

#include <algorithm>

namespace sorvane {

namespace {

// Columns of the list: the archive's and the undo file's alike.
enum Column { kDate, kFileName, kBytes, kMadeBy, kHolds };

bool isUndoFileName(std::wstring_view name)
{
    return name.size() > 4 && iendsWith(name, L".reg");
}

// The first few of a list, one a line, and how many more there are.
std::wstring firstOf(const std::vector<std::wstring>& items, const wchar_t* more)
{
    constexpr size_t kShown = 5;
    std::wstring text;
    for (size_t i = 0; i < items.size() && i < kShown; ++i)
        text += L"\r\n    " + items[i];
    if (items.size() > kShown)
        text += L"\r\n    and " + std::to_wstring(items.size() - kShown) + L" more " + more;
    return text;
}

// The archive "R_<stamp>.zip" of the files a restore replaces, made in the
// backup folder at the first of them; each entry is on the disk before its
// file is replaced.
class ReplacedFiles {
public:
    explicit ReplacedFiles(std::wstring folder) : m_folder(std::move(folder)) {}
    ~ReplacedFiles() { finish(); }
    bool store(HANDLE current, const std::wstring& path)
    {
        zip::SourceInfo info;
        const std::wstring name = storedNameOf(path);
        if (name.empty() || !zip::sourceInfo(current, info) || info.folder || !open())
            return false;
        return m_writer.add(current, std::wstring(1, static_cast<wchar_t>(towupper(path[0]))) + L"/" + name, info) &&
               m_writer.flush();
    }
    // The archive, complete and recorded as the program's own; "" when none.
    std::wstring finish()
    {
        if (!m_writer.isOpen())
            return m_path;
        m_writer.close();
        recordBackup(m_path);
        return m_path;
    }

private:
    bool open()
    {
        if (m_writer.isOpen())
            return true;
        if (!makePrivateFolder(m_folder))
            return false;
        m_path = createUnderFreeName(backupArchiveName(m_folder, L"R_", localNow()),
                                     [this](const std::wstring& name) { return m_writer.create(name); });
        return !m_path.empty();
    }

    std::wstring m_folder, m_path;
    zip::Writer m_writer;
};

} // namespace

std::wstring unknownBackupQuestion(const std::wstring& name)
{
    return L"Sorvane did not make " + name + L", or it was changed after Sorvane made it (Made by: unknown). "
           L"Another program may have put it into the backup folder to have it written with administrator "
           L"rights.\r\n\r\nRestore it anyway?";
}

std::wstring undoFileHolds(const std::wstring& file)
{
    const auto text = readRegFileText(file);
    if (!text)
        return L"";
    const RegFile parsed = parseRegFile(*text);
    if (!parsed.valid)
        return L"";
    return std::to_wstring(parsed.keys.size()) + L" keys, " + std::to_wstring(parsed.valueCount()) + L" values";
}

void BackupsTab::attach(HINSTANCE instance, HWND window, HWND page)
{
    m_instance = instance;
    m_window = window;
    m_page = page;
    HWND lv = control(IDC_lstvZip);
    ListView_SetExtendedListViewStyle(lv, LVS_EX_FULLROWSELECT);
    win::addListColumns(lv, {{L"Date", 130}, {L"File Name", 260}, {L"Bytes", 60}, {L"Made by", 150}, {L"Holds", 110}});
}

bool BackupsTab::checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void BackupsTab::setChecked(int id, bool on) const
{
    SendMessageW(control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void BackupsTab::loadSettings()
{
    constexpr const wchar_t* tag = L"frmOptions,getBackup";
    step(tag, [&] {
        SetWindowTextW(control(IDC_txtBackup),
                       readSetting(L"Backup", L"Path", appFolder() + L"\\Backup\\", kWideSettingChars).c_str());
    });
    step(tag, [&] {
        const OverwriteMethod m =
            overwriteMethodFromText(readSetting(L"Backup", L"Method", L"Always", kWideSettingChars));
        setChecked(IDC_optBackupAlways, m == OverwriteMethod::Always);
        setChecked(IDC_optBackupNewer, m == OverwriteMethod::Newer);
        setChecked(IDC_optBackupPrompt, m == OverwriteMethod::Prompt);
        setChecked(IDC_optBackupNever, m == OverwriteMethod::Never);
    });
}

void BackupsTab::saveSettings(SaveLog& log) const
{
    constexpr const wchar_t* tag = L"frmOptions,saveBackup";
    log.note(step(tag, [&] { writeSetting(L"Backup", L"Path", win::windowText(control(IDC_txtBackup))); }),
             L"Settings.ini");
    log.note(step(tag,
                  [&] {
                      OverwriteMethod m = OverwriteMethod::None;
                      if (checked(IDC_optBackupAlways))
                          m = OverwriteMethod::Always;
                      else if (checked(IDC_optBackupNewer))
                          m = OverwriteMethod::Newer;
                      else if (checked(IDC_optBackupNever))
                          m = OverwriteMethod::Never;
                      writeSetting(L"Backup", L"Method", overwriteMethodText(m));
                  }),
             L"Settings.ini");
}

int BackupsTab::ask(const std::wstring& text, unsigned flags, HWND owner)
{
    return m_ask(owner ? owner : m_window, text, flags);
}

void BackupsTab::load(const std::wstring& folder)
{
    HWND lv = control(IDC_lstvZip);
    ListView_DeleteAllItems(lv);
    // The buttons act on the folder the list shows, accepted or not.
    m_folder = folder;
    if (trim(folder).empty() || !folderExists(folder))
        return;
    for (const wchar_t* mask : {L"*.zip", L"*.reg"}) {
        step(L"frmOptions,getZip", [&] {
            WIN32_FIND_DATAW fd;
            win::UniqueFind find(FindFirstFileExW(apiPath(joinPath(folder, mask)).c_str(), FindExInfoBasic, &fd,
                                                  FindExSearchNameMatch, nullptr, 0));
            if (!find)
                return;
            do {
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    continue;  // "." and "..", and folders whose names end in .zip
                const uint64_t bytes = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
                const std::wstring_view name(fd.cFileName);
                const bool undo = isUndoFileName(name);
                if (!undo && !iendsWith(name, L".zip"))
                    continue;  // a short name matched the mask, the long one does not end so
                const std::wstring path = joinPath(folder, fd.cFileName);
                const std::wstring madeBy = !isOwnBackup(path, true) ? L"unknown"
                                            : undo            ? undoFileTool(fd.cFileName)
                                                              : L"Clean";
                win::addRow(lv, {formatFileTime(fd.ftLastWriteTime), fd.cFileName, std::to_wstring(bytes), madeBy,
                                 undo ? undoFileHolds(path) : L""});
            } while (FindNextFileW(find.get(), &fd));
        });
    }
}

std::wstring BackupsTab::selectedFile() const
{
    HWND lv = control(IDC_lstvZip);
    const int row = win::selectedRow(lv);
    return row < 0 ? std::wstring() : joinPath(m_folder, win::cellText(lv, row, kFileName));
}

bool BackupsTab::selectedIsUndoFile() const { return isUndoFileName(selectedFile()); }

void BackupsTab::view()
{
    const std::wstring file = selectedFile();
    if (file.empty())
        return;
    if (selectedIsUndoFile()) {
        RegFileWindow w;
        w.fileName = file;
        w.restore = [this, file](HWND owner) { restoreUndoFile(file, owner); };
        w.show(m_instance, m_window);
        return;
    }
    UnzipWindow w;
    w.strFileName = file;
    w.restoreChecked = [this, file, &w](const std::vector<size_t>& entries) { restoreArchive(file, &entries, w.hwnd()); };
    w.show(m_instance, m_window);
}

void BackupsTab::remove()
{
    HWND lv = control(IDC_lstvZip);
    const int row = win::selectedRow(lv);
    if (row < 0)
        return;
    // The backup is the only copy of what it holds.
    const std::wstring what = selectedIsUndoFile() ? L"Its registry entries" : L"Its files";
    if (ask(L"Delete the backup " + win::cellText(lv, row, kFileName) + L" for good? " + what +
                  L" can then no longer be restored.",
              MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const std::wstring file = selectedFile();
    if (DeletionEngine::deleteForGood(file)) {
        forgetBackup(file);
        ListView_DeleteItem(lv, row);
    }
    else
        ask(L"File can not be deleted", MB_OK | MB_ICONERROR);
}

void BackupsTab::restore()
{
    HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    EnableWindow(control(IDC_cmdBackupRestore), FALSE);
    const std::wstring file = selectedFile();
    if (file.empty())
        ask(L"Please select the backup to restore first.", MB_OK | MB_ICONINFORMATION);
    else if (selectedIsUndoFile())
        restoreUndoFile(file);
    else
        restoreArchive(file, nullptr);
    EnableWindow(control(IDC_cmdBackupRestore), TRUE);
    SetCursor(before);
}

void BackupsTab::restoreUndoFile(const std::wstring& file, HWND owner)
{
    const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
    const auto text = readRegFileText(file);
    const RegFile parsed = text ? parseRegFile(*text) : RegFile{};
    if (!parsed.valid) {
        ask(L"The file " + name + L" is not a registry backup that can be restored.", MB_OK | MB_ICONERROR, owner);
        return;
    }
    std::vector<std::wstring> keys;
    for (const auto& key : parsed.keys)
        keys.push_back(key.text);
    if (ask(L"Write back the " + std::to_wstring(parsed.keys.size()) + L" keys and " +
                std::to_wstring(parsed.valueCount()) + L" values saved in " + name +
                L"? A value of the same name that exists now is replaced; nothing else is changed.\r\n" +
                firstOf(keys, L"keys"),
            MB_YESNO | MB_ICONQUESTION, owner) != IDYES)
        return;
    if (!isOwnBackup(file) && ask(unknownBackupQuestion(name), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, owner) != IDYES)
        return;
    // The values it overwrites are saved first, so the restore can be undone.
    std::vector<RegItem> current;
    for (const auto& key : parsed.keys)
        for (const auto& value : key.values)
            if (regValueExists(key.root, key.path, value.name))
                current.push_back({key.root, key.path, RegItem::Value, value.name});
    std::wstring undo;
    if (!current.empty() && (undo = saveRegistryUndo(L"Restore", current)).empty()) {
        ask(L"The values " + name + L" would overwrite could not be saved to an undo file first, so nothing was "
                L"written.",
            MB_OK | MB_ICONEXCLAMATION, owner);
        return;
    }
    const RegRestore result = restoreRegFile(parsed);
    std::wstring message = regRestoreSummary(result);
    if (!undo.empty())
        message += L"\r\n\r\nThe values it replaced are in " + undo.substr(undo.find_last_of(L'\\') + 1) + L".";
    ask(message, MB_OK | (result.failures.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION), owner);
}

void BackupsTab::restoreArchive(const std::wstring& archive, const std::vector<size_t>* entries, HWND owner)
{
    constexpr const wchar_t* tag = L"frmOptions,cmdBackupRestore_Click";
    bool failed = false;
    bool nothingToRestore = false;
    cUnZip m_cUnzip;
    ReplacedFiles replaced(m_folder);
    m_cUnzip.BeforeReplace = [&replaced](HANDLE current, const std::wstring& path) {
        return replaced.store(current, path);
    };
    step(tag, [&] {
        resetOverwriteAnswer();
        m_cUnzip.setZipFile(archive);
        m_cUnzip.Directory();
        m_cUnzip.OverWritePrompt = [this, owner](const std::wstring& file) {
            return askOverwrite(m_instance, owner ? owner : m_window, file);
        };
        m_cUnzip.ConfirmLowSpace = [this, owner](uint64_t needed, uint64_t free) {
            return ask(L"The files of this backup need " + std::to_wstring((needed + 1048575) / 1048576) +
                           L" MB, but the drive has only " + std::to_wstring(free / 1048576) +
                           L" MB free. Restore anyway? Files that do not fit will not be restored.",
                       MB_YESNO | MB_ICONQUESTION, owner) == IDYES;
        };
        if (checked(IDC_optBackupAlways)) {
            m_cUnzip.OverwriteExisting = true;
        } else if (checked(IDC_optBackupNewer)) {
            m_cUnzip.ExtractOnlyNewer = true;
        } else if (checked(IDC_optBackupPrompt)) {
            m_cUnzip.PromptToOverwrite = true;
        }
        m_cUnzip.UseFolderNames = true;
        if (entries) {
            m_cUnzip.OnlySelected = true;
            for (size_t i = 1; i <= m_cUnzip.FileCount(); ++i)
                m_cUnzip.entry(i).FileSelected = std::find(entries->begin(), entries->end(), i) != entries->end();
        }
        if (!m_cUnzip.isZip())
            failed = true;
        else if (m_cUnzip.FileCount() == 0 || (entries && entries->empty()))
            nothingToRestore = true;
    });
    if (!failed && !nothingToRestore) {
        // Where the files go, before anything is written; a backup the
        // program did not make is asked about twice.
        const std::wstring name = archive.substr(archive.find_last_of(L'\\') + 1);
        const std::vector<std::wstring> folders = m_cUnzip.targetFolders();
        if (ask(L"Restore the files of " + name + L" to their folders? They are written to:\r\n" +
                    firstOf(folders, L"folders"),
                MB_YESNO | MB_ICONQUESTION, owner) != IDYES)
            return;
        if (!isOwnBackup(archive) &&
            ask(unknownBackupQuestion(name), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, owner) != IDYES)
            return;
    }
    if (!failed && !nothingToRestore && !step(tag, [&] { m_cUnzip.Unzip(); }))
        failed = true;
    if (m_cUnzip.cancelled())
        return;  // the user called it off at the free-space question
    std::wstring message;
    if (failed)
        message = L"There was an error in restoring files";
    else if (nothingToRestore)
        message = entries ? L"Please check the files to restore first." : L"The backup holds no files to restore.";
    else
        message = restoreSummary(m_cUnzip);
    if (const std::wstring undo = replaced.finish(); !undo.empty())
        message += L"\r\n\r\nThe files it replaced are in " + undo.substr(undo.find_last_of(L'\\') + 1) + L".";
    ask(message, MB_OK | (m_cUnzip.failures().empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION), owner);
}

// --- the undo file viewer ------------------------------------------------------

void RegFileWindow::show(HINSTANCE instance, HWND owner) { showModal(instance, IDD_REGFILE, owner); }

bool RegFileWindow::onInitDialog()
{
    const auto text = readRegFileText(fileName);
    SetWindowTextW(hwnd(), (L"Sorvane - Registry Backup - " + fileName.substr(fileName.find_last_of(L'\\') + 1)).c_str());
    // The edit box holds up to its limit; an undo file is far below it.
    SendDlgItemMessageW(hwnd(), IDC_reg_txtContent, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    SetDlgItemTextW(hwnd(), IDC_reg_txtContent,
                    text ? text->c_str() : L"The file cannot be read, or it is too large to be a registry backup.");
    // Shown, not selected: the focus starts on Close.
    SetFocus(item(IDC_reg_cmdClose));
    ShowWindow(item(IDC_reg_cmdRestore), restore && text ? SW_SHOW : SW_HIDE);
    RECT r;
    GetClientRect(hwnd(), &r);
    onSize(SIZE_RESTORED, r.right, r.bottom);
    if (onLoaded)
        onLoaded();
    return false;
}

bool RegFileWindow::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDC_reg_cmdRestore:
        if (restore)
            restore(hwnd());
        return true;
    case IDC_reg_cmdClose:
    case IDCANCEL: EndDialog(hwnd(), IDCANCEL); return true;
    default: return false;
    }
}

void RegFileWindow::onSize(UINT type, int width, int height)
{
    if (type == SIZE_MINIMIZED)
        return;
    RECT button;
    GetWindowRect(item(IDC_reg_cmdClose), &button);
    const int bw = button.right - button.left, bh = button.bottom - button.top;
    const int bar = bh + 8;
    MoveWindow(item(IDC_reg_txtContent), 0, 0, width, std::max(0, height - bar), TRUE);
    MoveWindow(item(IDC_reg_cmdClose), width - bw - 4, height - bar + 4, bw, bh, TRUE);
    MoveWindow(item(IDC_reg_cmdRestore), width - 2 * bw - 10, height - bar + 4, bw, bh, TRUE);
}

} // namespace sorvane
