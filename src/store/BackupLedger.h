#pragma once
// Which backup files the program made itself. The backup folder can be read
// by the user's programs, and in folders made before it could be written
// too: a .zip or .reg dropped there must never be written back with
// administrator rights as if it were the program's own. Every archive and
// undo file the program closes is recorded by its path and SHA-256 under
// HKEY_LOCAL_MACHINE\Software\Sorvane\Backups, which only administrators can
// write.
#include <string>

namespace sorvane {

inline constexpr const wchar_t* kBackupLedgerKey = L"Software\\Sorvane\\Backups";

// Records the file as it is now; false when it cannot be read or recorded.
bool recordBackup(const std::wstring& path);
// Whether the program recorded a file at this path with exactly these bytes.
// `quick` compares the size alone (for listing many archives); a restore
// always compares every byte's hash.
bool isOwnBackup(const std::wstring& path, bool quick = false);
// Forgets the file (it was deleted through the program).
void forgetBackup(const std::wstring& path);

} // namespace sorvane
