#pragma once
// frmMain: the eighteen categories, the run buttons, the status line and the
// process lifetime.
#include "core/StartupSettings.h"
#include "options/ListFiles.h"
#include "win/Dialog.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace sorvane {

inline constexpr const wchar_t* kMainWindowClass = L"SorvaneMain";
inline constexpr const wchar_t* kAppTitle = L"Sorvane";

class MainWindow : public win::Dialog {
public:
    static bool registerClass(HINSTANCE instance);

    // Creates the window and runs the load handler, which shows it.
    bool create(HINSTANCE instance);
    int messageLoop();

    // Check-box states in store order.
    CategoryStates categoryStates() const;
    void setCategoryStates(const CategoryStates& states);
    bool anyCategoryChecked() const;

    void setStatus(const std::wstring& text);
    void saveCleanStatus();

private:
    bool onInitDialog() override;
    bool onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
    void onDestroy() override;

    void Form_Load();
    void Form_Unload();
    void getCleanStatus();
    void getGeneral();
    void cmdClean_Click();
    void cmdStop_Click();
    void cmdExit_Click();
    void tmrClean_Timer();
    void Clean_Timer();
    void setAnimation(int16_t phase);
    void enableUnbuiltMenus();

    HINSTANCE m_instance = nullptr;
    int16_t progbar = 1;
    int16_t intAnimState = 0;
    SYSTEMTIME mstrTime{};
    int16_t mintDuration = 0;
    DeleteSettings m_delete;
};

} // namespace sorvane
