#pragma once
// Windows' own cleanup handlers, the ones Disk Cleanup drives: every subkey of
// HKLM\...\Explorer\VolumeCaches. The program runs with administrator rights
// and that key is a known place to plant code, so a handler is trusted only
// when its class is registered under HKEY_LOCAL_MACHINE and its DLL, with its
// variables expanded and every link resolved, lies directly in the system
// folder. No other handler is ever loaded.
#include "platform/Yielder.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane {

inline constexpr const wchar_t* kVolumeCachesKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\VolumeCaches";
inline constexpr const wchar_t* kNotTrustedHandler = L"Not trusted: its code lies outside the system folder";

struct CleanupHandler {
    std::wstring subkey;  // its name under VolumeCaches; the item is "Handler:" + subkey
    std::wstring display;  // its Display text (the subkey's name for a handler not trusted)
    std::wstring description;
    std::wstring clsid;
    std::wstring dll;  // the verified file; empty when the handler is not trusted
    DWORD priority = 0;
    bool tickedByDefault = false;
    // Ticked only after a warning: what it removes cannot be taken back.
    bool warns = false;

    bool trusted() const { return !dll.empty(); }
    std::wstring itemKey() const { return L"Handler:" + subkey; }
};

// What became of a handler that was run.
struct HandlerRun {
    enum class Outcome { Done, TimedOut, Stopped, Failed };
    Outcome outcome = Outcome::Failed;
    uint64_t spaceUsed = 0;  // what it reported before any purge
    std::wstring error;  // with Failed
    int seconds = 0;  // with TimedOut: the limit that ran out
};

// Drives a trusted handler as Disk Cleanup does, for the system drive, on an
// STA thread of its own: InitializeEx (else Initialize), GetSpaceUsed, with
// `purge` Purge of every byte, then Deactivate; always with a callback that
// answers E_ABORT once `abortFlag` is set. Waits at most `sizeSeconds` for
// the size and `purgeSeconds` for the purge while `pump` keeps the window
// answering; a handler past its limit is left to itself, told to stop.
HandlerRun runCleanupHandler(const CleanupHandler& handler, bool purge, int sizeSeconds, int purgeSeconds,
                             MessagePump& pump, const int16_t& abortFlag);

// Every handler, highest Priority first.
std::vector<CleanupHandler> listCleanupHandlers();

// The DLL of a class as HKEY_LOCAL_MACHINE registers it, if that file lies
// directly in the system folder once resolved: its final path; else empty.
std::wstring trustedHandlerDll(const std::wstring& clsid);

} // namespace sorvane
