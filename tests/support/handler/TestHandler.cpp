// A disk cleanup handler for the tests, built as an in-process COM server.
// Its VolumeCaches key tells it what to do: TestSize (the bytes it reports),
// TestHang ("size" or "purge": it keeps calling the callback there until the
// callback answers E_ABORT), TestLog (a file it appends every call to).
// Loaded at all, it writes "<its own path>.loaded" beside itself.
#include <windows.h>
#include <emptyvc.h>

#include <atomic>
#include <string>

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};

std::wstring modulePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    return path;
}

void append(const std::wstring& file, const std::string& line)
{
    if (file.empty())
        return;
    HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
}

class Handler final : public IEmptyVolumeCache2 {
public:
    Handler() { ++g_objects; }
    ~Handler() { --g_objects; }

    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IEmptyVolumeCache || riid == IID_IEmptyVolumeCache2) {
            *out = static_cast<IEmptyVolumeCache2*>(this);
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

    HRESULT WINAPI InitializeEx(HKEY key, LPCWSTR volume, LPCWSTR keyName, LPWSTR* display, LPWSTR* description,
                                LPWSTR* button, DWORD* flags) override
    {
        read(key);
        log("InitializeEx " + narrow(volume) + " " + narrow(keyName) + " flags=" + std::to_string(*flags));
        *display = *description = *button = nullptr;
        *flags = 0;
        return S_OK;
    }
    HRESULT WINAPI Initialize(HKEY key, LPCWSTR volume, LPWSTR* display, LPWSTR* description, DWORD* flags) override
    {
        read(key);
        log("Initialize " + narrow(volume) + " flags=" + std::to_string(*flags));
        *display = *description = nullptr;
        *flags = 0;
        return S_OK;
    }
    HRESULT WINAPI GetSpaceUsed(DWORDLONG* used, IEmptyVolumeCacheCallBack* callback) override
    {
        log(std::string("GetSpaceUsed") + (callback ? " callback" : " no-callback"));
        if (m_hang == L"size" && hang([&] { return callback->ScanProgress(0, 0, nullptr); }))
            return E_ABORT;
        *used = m_size;
        return S_OK;
    }
    HRESULT WINAPI Purge(DWORDLONG toFree, IEmptyVolumeCacheCallBack* callback) override
    {
        log("Purge " + std::to_string(toFree) + (callback ? " callback" : " no-callback"));
        if (m_hang == L"purge" && hang([&] { return callback->PurgeProgress(0, toFree, 0, nullptr); }))
            return E_ABORT;
        if (callback)
            callback->PurgeProgress(toFree, 0, EVCCBF_LASTNOTIFICATION, nullptr);
        return S_OK;
    }
    HRESULT WINAPI ShowProperties(HWND) override
    {
        log("ShowProperties");
        return S_OK;
    }
    HRESULT WINAPI Deactivate(DWORD* flags) override
    {
        log("Deactivate");
        *flags = 0;
        return S_OK;
    }

private:
    static std::string narrow(LPCWSTR s)
    {
        std::string out;
        for (; s && *s; ++s)
            out += static_cast<char>(*s < 128 ? *s : '?');
        return out;
    }
    void read(HKEY key)
    {
        DWORD size = 0, n = sizeof size;
        if (RegQueryValueExW(key, L"TestSize", nullptr, nullptr, reinterpret_cast<BYTE*>(&size), &n) == ERROR_SUCCESS)
            m_size = size;
        wchar_t text[MAX_PATH] = {};
        n = sizeof text - sizeof(wchar_t);
        if (RegQueryValueExW(key, L"TestHang", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &n) == ERROR_SUCCESS)
            m_hang = text;
        wchar_t logFile[MAX_PATH] = {};
        n = sizeof logFile - sizeof(wchar_t);
        if (RegQueryValueExW(key, L"TestLog", nullptr, nullptr, reinterpret_cast<BYTE*>(logFile), &n) == ERROR_SUCCESS)
            m_log = logFile;
    }
    void log(const std::string& line) { append(m_log, line); }
    // Calls `progress` every 50 ms until it answers E_ABORT; true then.
    template <class F> bool hang(F progress)
    {
        for (;;) {
            if (progress() == E_ABORT) {
                log("aborted");
                return true;
            }
            Sleep(50);
        }
    }

    std::atomic<long> m_refs{1};
    DWORDLONG m_size = 0;
    std::wstring m_hang, m_log;
};

class Factory : public IClassFactory {
public:
    HRESULT WINAPI QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* h = new Handler;
        const HRESULT hr = h->QueryInterface(riid, out);
        h->Release();
        return hr;
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        append(modulePath() + L".loaded", "loaded");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID riid, void** out)
{
    return g_factory.QueryInterface(riid, out);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
