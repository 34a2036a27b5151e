#include "cleaners/CleanupHandlers.h"

#include "platform/ErrorReport.h"
#include "platform/PinnedPath.h"
#include "platform/Registry.h"
#include "platform/SystemPaths.h"
#include "platform/Text.h"
#include "win/UniqueHandle.h"

#include <emptyvc.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace sorvane {

namespace {

// The final path of a file or folder, every link resolved; empty when it
// cannot be opened.
std::wstring resolved(const std::wstring& path)
{
    win::UniqueFile h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h ? finalPathOf(h.get()) : std::wstring();
}

// Disk Cleanup's handlers whose removals cannot be taken back: unticked by
// default and ticked only after a warning.
bool warnsWhenTicked(const std::wstring& subkey)
{
    for (const wchar_t* name : {L"Update Cleanup", L"Previous Installations", L"Windows ESD installation files",
                                L"DownloadsFolder", L"Temporary Setup Files"})
        if (iequals(subkey, name))
            return true;
    return false;
}

// A Display or Description text; an indirect string ("@file,-id") is read
// from the handler's own verified module only.
std::wstring handlerText(const std::wstring& value, bool trusted)
{
    if (value.empty() || value[0] != L'@')
        return value;
    if (!trusted)
        return L"";
    std::wstring out(1024, L'\0');
    if (FAILED(SHLoadIndirectString(value.c_str(), out.data(), static_cast<UINT>(out.size()), nullptr)))
        return L"";
    return stripNull(out);
}

} // namespace

std::wstring trustedHandlerDll(const std::wstring& clsid)
{
    if (clsid.size() != 38 || clsid.front() != L'{' || clsid.back() != L'}')
        return L"";
    // The machine's registration only: HKEY_CLASSES_ROOT would take the
    // user's own registration of the same class first.
    const RegText server =
        readRegText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", L"");
    if (!server.exists)
        return L"";
    std::wstring file = trim(server.text);
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"')
        file = file.substr(1, file.size() - 2);
    file = expandEnvironment(file);
    // A bare name would be looked for along the search path.
    if (!isFullLocalPath(file))
        return L"";
    const std::wstring dll = resolved(file);
    const std::wstring system = resolved(getSystemDir());
    if (dll.empty() || system.empty())
        return L"";
    const size_t slash = dll.find_last_of(L'\\');
    if (slash == std::wstring::npos || !iequals(std::wstring_view(dll).substr(0, slash), system))
        return L"";
    return dll;
}

std::vector<CleanupHandler> listCleanupHandlers()
{
    std::vector<CleanupHandler> handlers;
    for (const auto& subkey : getRegSubkeyNames(HKEY_LOCAL_MACHINE, kVolumeCachesKey)) {
        const std::wstring key = std::wstring(kVolumeCachesKey) + L"\\" + subkey;
        CleanupHandler h;
        h.subkey = subkey;
        h.clsid = trim(readRegText(HKEY_LOCAL_MACHINE, key, L"").text);
        h.dll = trustedHandlerDll(h.clsid);
        h.display = handlerText(readRegText(HKEY_LOCAL_MACHINE, key, L"Display").text, h.trusted());
        if (h.display.empty())
            h.display = subkey;
        h.description = h.trusted() ? handlerText(readRegText(HKEY_LOCAL_MACHINE, key, L"Description").text, true)
                                    : std::wstring(kNotTrustedHandler);
        const long priority = getRegDword(HKEY_LOCAL_MACHINE, key, L"Priority");
        h.priority = priority < 0 ? 0 : static_cast<DWORD>(priority);
        h.warns = warnsWhenTicked(subkey);
        h.tickedByDefault = h.trusted() && !h.warns && getRegDword(HKEY_LOCAL_MACHINE, key, L"StateFlags") == 1;
        handlers.push_back(std::move(h));
    }
    std::stable_sort(handlers.begin(), handlers.end(),
                     [](const CleanupHandler& a, const CleanupHandler& b) { return a.priority > b.priority; });
    return handlers;
}

namespace {

// What the waiting thread and the handler's thread share; it lives as long as
// either needs it, since a handler past its limit is left running.
struct HandlerState {
    HANDLE sized = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> abort{false};
    std::atomic<uint64_t> spaceUsed{0};
    std::atomic<bool> failed{false};
    std::wstring error;  // written before `done` is set
    ~HandlerState()
    {
        CloseHandle(sized);
        CloseHandle(done);
    }
};

class Callback final : public IEmptyVolumeCacheCallBack {
public:
    explicit Callback(std::shared_ptr<HandlerState> state) : m_state(std::move(state)) {}
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IEmptyVolumeCacheCallBack) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG WINAPI Release() override
    {
        const long n = --m_refs;
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT WINAPI ScanProgress(DWORDLONG, DWORD, LPCWSTR) override { return m_state->abort ? E_ABORT : S_OK; }
    HRESULT WINAPI PurgeProgress(DWORDLONG, DWORDLONG, DWORD, LPCWSTR) override
    {
        return m_state->abort ? E_ABORT : S_OK;
    }

private:
    std::atomic<long> m_refs{1};
    std::shared_ptr<HandlerState> m_state;
};

void freeTaskText(LPWSTR text)
{
    if (text)
        CoTaskMemFree(text);
}

// The handler's own thread: everything it does happens here.
void driveHandler(CleanupHandler handler, bool purge, std::shared_ptr<HandlerState> state)
{
    const auto fail = [&](std::wstring why) {
        state->error = std::move(why);
        state->failed = true;
        SetEvent(state->sized);
        SetEvent(state->done);
    };
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return fail(L"its thread could not start COM");
    {
        // The verified file itself, never what a search or a class lookup
        // would find.
        HMODULE module =
            LoadLibraryExW(handler.dll.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module) {
            CoUninitialize();
            return fail(L"its DLL could not be loaded: " + trim(win32Message(GetLastError())));
        }
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        const auto getClassObject =
            reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        CLSID clsid{};
        win::ComPtr<IClassFactory> factory;
        win::ComPtr<IEmptyVolumeCache> cache;
        HRESULT hr = getClassObject ? CLSIDFromString(handler.clsid.c_str(), &clsid) : E_NOINTERFACE;
        if (SUCCEEDED(hr))
            hr = getClassObject(clsid, IID_IClassFactory, factory.putVoid());
        if (SUCCEEDED(hr))
            hr = factory->CreateInstance(nullptr, IID_IEmptyVolumeCache, cache.putVoid());
        win::UniqueKey key = openRegKey(HKEY_LOCAL_MACHINE, std::wstring(kVolumeCachesKey) + L"\\" + handler.subkey,
                                        KEY_READ);
        const std::wstring windows = getWinDir();
        const std::wstring volume = windows.size() >= 3 ? windows.substr(0, 3) : L"C:\\";
        auto* callback = new Callback(state);
        DWORD flags = 0;  // never EVCF_SETTINGSMODE
        if (SUCCEEDED(hr)) {
            win::ComPtr<IEmptyVolumeCache2> cache2;
            LPWSTR display = nullptr, description = nullptr, button = nullptr;
            if (SUCCEEDED(cache->QueryInterface(IID_IEmptyVolumeCache2, cache2.putVoid())))
                hr = cache2->InitializeEx(key.get(), volume.c_str(), handler.subkey.c_str(), &display, &description,
                                            &button, &flags);
            else
                hr = cache->Initialize(key.get(), volume.c_str(), &display, &description, &flags);
            freeTaskText(display);
            freeTaskText(description);
            freeTaskText(button);
        }
        // S_FALSE: nothing of this handler's on the drive.
        const bool nothing = hr == S_FALSE;
        if (FAILED(hr)) {
            state->error = L"it did not start: " + trim(win32Message(static_cast<unsigned long>(hr)));
            state->failed = true;
        } else if (!nothing) {
            DWORDLONG used = 0;
            hr = cache->GetSpaceUsed(&used, callback);
            state->spaceUsed = used;
            if (FAILED(hr) && hr != E_ABORT) {
                state->error = L"it could not tell its size: " + trim(win32Message(static_cast<unsigned long>(hr)));
                state->failed = true;
            }
            SetEvent(state->sized);
            if (purge && SUCCEEDED(hr) && !state->abort) {
                hr = cache->Purge(used, callback);
                if (FAILED(hr) && hr != E_ABORT) {
                    state->error = L"its purge failed: " + trim(win32Message(static_cast<unsigned long>(hr)));
                    state->failed = true;
                }
            }
            // EVCF_REMOVEFROMLIST is only noted: the handler's key stays.
            cache->Deactivate(&flags);
        }
        callback->Release();
        // Every object of the DLL is given back before the DLL itself.
        cache.reset();
        factory.reset();
        FreeLibrary(module);
    }
    CoUninitialize();
    SetEvent(state->sized);
    SetEvent(state->done);
}

// Waits for the event while the window keeps answering; false when the
// limit ran out first.
bool waitAnswering(HANDLE event, int seconds, MessagePump& pump, const int16_t& abortFlag, HandlerState& state)
{
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    for (;;) {
        if (abortFlag)
            state.abort = true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50));
        if (MsgWaitForMultipleObjects(1, &event, FALSE, slice, QS_ALLINPUT) == WAIT_OBJECT_0)
            return true;
        pump.pumpMessages();
    }
}

} // namespace

HandlerRun runCleanupHandler(const CleanupHandler& handler, bool purge, int sizeSeconds, int purgeSeconds,
                             MessagePump& pump, const int16_t& abortFlag)
{
    HandlerRun run;
    if (!handler.trusted()) {
        run.error = kNotTrustedHandler;
        return run;
    }
    auto state = std::make_shared<HandlerState>();
    if (!state->sized || !state->done) {
        run.error = L"it could not be waited for";
        return run;
    }
    std::thread(driveHandler, handler, purge, state).detach();
    if (!waitAnswering(state->sized, sizeSeconds, pump, abortFlag, *state)) {
        state->abort = true;  // left to itself: its next progress call hears Stop
        run.outcome = HandlerRun::Outcome::TimedOut;
        run.seconds = sizeSeconds;
        return run;
    }
    run.spaceUsed = state->spaceUsed;
    if (!waitAnswering(state->done, purge ? purgeSeconds : sizeSeconds, pump, abortFlag, *state)) {
        state->abort = true;
        run.outcome = HandlerRun::Outcome::TimedOut;
        run.seconds = purge ? purgeSeconds : sizeSeconds;
        return run;
    }
    if (abortFlag) {
        // Stop reached the handler: whatever it did is not a whole clean.
        run.outcome = HandlerRun::Outcome::Stopped;
        return run;
    }
    if (state->failed) {
        run.error = state->error;
        return run;
    }
    run.outcome = HandlerRun::Outcome::Done;
    return run;
}

} // namespace sorvane
