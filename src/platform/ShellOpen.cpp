#include "platform/ShellOpen.h"

#include "win/UniqueHandle.h"

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shlguid.h>

// shellapi.h's macro would rename the automation method of the same name.
#undef ShellExecute

namespace sorvane {

namespace {

struct Variant {
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT v;
};

Variant* textVariant(Variant& var, const std::wstring& text)
{
    var.v.vt = VT_BSTR;
    var.v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return &var;
}

bool openDirect(const ShellRequest& r)
{
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    sei.lpVerb = r.operation.empty() ? nullptr : r.operation.c_str();
    sei.lpFile = r.file.c_str();
    sei.lpParameters = r.parameters.empty() ? nullptr : r.parameters.c_str();
    sei.lpDirectory = r.folder.empty() ? nullptr : r.folder.c_str();
    sei.nShow = r.show;
    return ShellExecuteExW(&sei) != FALSE;
}

// The desktop's IShellDispatch2: the shell window's view, its background
// object, and that object's application.
bool openThroughDesktop(const ShellRequest& r)
{
    win::ComInit com;
    win::ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.putVoid())))
        return false;
    Variant location, empty;
    location.v.vt = VT_I4;
    location.v.lVal = CSIDL_DESKTOP;
    long hwnd = 0;
    win::ComPtr<IDispatch> dispatch;
    if (windows->FindWindowSW(&location.v, &empty.v, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, dispatch.put()) != S_OK ||
        !dispatch)
        return false;
    win::ComPtr<IServiceProvider> services;
    win::ComPtr<IShellBrowser> browser;
    win::ComPtr<IShellView> view;
    win::ComPtr<IDispatch> background;
    win::ComPtr<IShellFolderViewDual> folderView;
    win::ComPtr<IDispatch> application;
    win::ComPtr<IShellDispatch2> shell;
    if (FAILED(dispatch->QueryInterface(IID_IServiceProvider, services.putVoid())) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid())) ||
        FAILED(browser->QueryActiveShellView(view.put())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid())) ||
        FAILED(folderView->get_Application(application.put())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.putVoid())))
        return false;
    Variant parameters, folder, operation, show;
    show.v.vt = VT_I4;
    show.v.lVal = r.show;
    win::Bstr file(r.file);
    return SUCCEEDED(shell->ShellExecute(file, textVariant(parameters, r.parameters)->v,
                                         textVariant(folder, r.folder)->v, textVariant(operation, r.operation)->v,
                                         show.v));
}

} // namespace

ShellRoutes systemShellRoutes() { return {openDirect, openThroughDesktop}; }

bool processIsElevated()
{
    win::UniqueHandleNull token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        return true;  // cannot be told: treated as elevated, the safe side
    return elevation.TokenIsElevated != 0;
}

bool openAsUser(const ShellRequest& request, std::wstring& error, bool elevated, const ShellRoutes& routes)
{
    error.clear();
    if (!elevated) {
        if (routes.direct && routes.direct(request))
            return true;
        error = L"Windows could not open " + request.file + L".";
        return false;
    }
    // Never this process's own rights: the desktop's shell or nothing.
    if (routes.desktop && routes.desktop(request))
        return true;
    error = L"Sorvane runs with administrator rights and opens " + request.file +
            L" only as the signed-in user, through the desktop's shell, which could not be reached. "
            L"Nothing was opened.";
    return false;
}

} // namespace sorvane
