#pragma once
// frmMain: the eighteen categories, the run buttons, the status line and the
// process lifetime. It is the clean run's host: the engine reaches the window
// only through the RunHost interface.
#include "app/CleanRun.h"
#include "app/MenuPanels.h"
#include "cleaners/ReviewWindow.h"
#include "core/FileSearch.h"
#include "core/RunState.h"
#include "options/OptionsWindow.h"
#include "platform/AppFolder.h"
#include "store/ListFiles.h"
#include "store/Policy.h"
#include "store/StartupSettings.h"
#include "win/Dialog.h"
#include "win/UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sorvane {

inline constexpr const wchar_t* kMainWindowClass = L"SorvaneMain";

class MainWindow : public win::Dialog, public RunHost, public OptionsHost {
public:
    MainWindow();
    static bool registerClass(HINSTANCE instance);

    // Creates the window and runs the load handler, which shows it.
    bool create(HINSTANCE instance);
    int messageLoop();

    CategoryStates categoryStates() const;
    void setCategoryStates(const CategoryStates& states);
    bool anyCategoryChecked() const;
    void saveCleanStatus();

    // EngineUi
    void setStatus(const std::wstring& text) override;
    void setProgressMax(int64_t max) override;
    void setProgress(int64_t value) override;
    int messageBox(const std::wstring& text, unsigned flags) override;
    void pumpMessages() override;
    void startOperation(int categoryStore) override;
    void stopOperation(const std::wstring& caption) override;
    void addReviewRow(const ReviewRow& row) override;
    void discardReviewRows() override;
    void showReviewWindow(const ReviewTools& tools) override;
    // RunHost
    bool isCategoryChecked(int store) override;
    void setCheckMark(int store, bool visible) override;
    void setAnimation(int16_t phase) override;
    void setRunControls(bool running) override;
    void showLog(const std::wstring& text) override;
    void showAnalysis(const std::vector<AnalysisRow>& rows) override;
    // OptionsHost
    // Settings accepted during a run wait for its end: the running clean
    // keeps the method, folder and lists it started with.
    const DeleteSettings& deleteSettings() const override { return m_pendingDelete ? *m_pendingDelete : m_delete; }
    void setDeleteSettings(const DeleteSettings& settings) override;
    void listsAccepted() override;
    void setAutoClean(bool on, int16_t minutes) override;
    std::vector<std::wstring> tickedCategoryCaptions() const override;

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void onSize(UINT, int, int) override { Form_Resize(); }
    void onDestroy() override;

    void Form_Load();
    void Form_Unload();
    void getCleanStatus();
    void getGeneral();
    void cmdClean_Click();
    void cmdStop_Click();
    void cmdExit_Click();
    void mnuPopup_Click(const std::wstring& caption);
    void showCategoryMenu(HWND checkBox, LPARAM screenPos);
    void tmrClean_Timer();
    void Clean_Timer();
    bool onMenuCommand(int id);
    void onPanelEntry(int panel, int index);
    void openScanner(int orphansIndex);
    template <class ToolWindow>
    void openWithWait(bool withWait);
    // The file explorer, modal over this window.
    void showExplorer();
    // The options window (not modal) on tab `tab`; the search lists are
    // reloaded right after it is shown.
    void showOptions(int tab, bool withWait);
    // frmAutoUpdate, modal over this window.
    void showUpdate();
    void Form_Resize();
    void finishRun();
    // Categories the machine's policy disables: unticked, greyed, and said so.
    void applyPolicy();
    // Clean and Analyze on and Stop off when idle; the reverse during a run.
    void enableRunButtons(bool idle);
    HWND activityImageFor(int store) const;
    ReviewWindow& reviewWindow();

    HINSTANCE m_instance = nullptr;
    int16_t progbar = 1;
    int16_t intAnimState = 0;
    SYSTEMTIME mstrTime{};
    int16_t mintDuration = 0;
    DeleteSettings m_delete;
    std::optional<DeleteSettings> m_pendingDelete;
    bool m_pendingLists = false;
    void applyPendingSettings();
    FileSearch m_search;
    CleanRun m_run;
    std::unique_ptr<ReviewWindow> m_review;
    std::unique_ptr<OptionsWindow> m_options;
    MachinePolicy m_policy;
    bool m_closePending = false;
    bool m_inAutoClean = false;
    int64_t m_progressMax = 0;
    win::UniqueIcon m_checkIcon, m_busyIcon;
    MenuPanels m_panels;
};

} // namespace sorvane
