#pragma once
// "Start with Windows" as a scheduled task: the program asks for
// administrator rights, and Windows starts no such program from the Run key
// at logon. A task at logon of the current user, run with highest
// privileges, starts it. Task Scheduler 2.0 through its COM interface.
#include <string>

namespace sorvane {

inline constexpr const wchar_t* kLogonTaskName = L"Sorvane Start with Windows";

// What the registered task holds, as read back through the API.
struct LogonTask {
    bool exists = false;
    bool logonTrigger = false;   // its one trigger is a logon
    std::wstring triggerUser;    // the user whose logon starts it
    bool highest = false;        // run with highest privileges
    std::wstring path;           // the program it starts
    std::wstring error;          // what could not be read
};

// Whether nobody but Administrators, SYSTEM and TrustedInstaller can change
// what `securityDescriptor` guards: its owner is one of them, and no entry of
// its access list gives anyone else a right to write, append, delete, remove
// inside, or change the list or the owner. For a folder `above` the
// program's own, only the rights that remove, rename or take over count:
// making a new entry there replaces nothing on the path. A task with highest
// privileges starts whatever stands at the program's path without a prompt,
// so that path must be theirs alone. `why` names who else could.
bool onlyAdministratorsCanChange(void* securityDescriptor, std::wstring& why, bool above = false);
// The same for the program, its folder and every folder above it, as the
// file system reports them; false with `why` when any of them fails or
// cannot be read.
bool onlyAdministratorsCanChangePath(const std::wstring& exe, std::wstring& why);

// The task as the Task Scheduler's XML format holds it: a logon trigger and
// a principal of `user` (DOMAIN\\name), highest privileges, `exe` started in
// its own folder, no time limit.
std::wstring logonTaskXml(const std::wstring& exe, const std::wstring& user);
// Registers (or replaces) the task for `exe`, for the account of the
// process's token (by its SID), and reads it back; false with the reason
// when `exe` or a folder above it can be changed by others than
// administrators, or the task cannot be made, or the service did not keep
// all of it (the half-made task is removed).
bool registerLogonTask(const std::wstring& exe, std::wstring& error);
// Removes the task; true when it is gone (or was never there).
bool removeLogonTask(std::wstring& error);
LogonTask readLogonTask();

// A scheduled clean: the program started with highest privileges at a time
// of day, every day or one day a week, with the arguments of an unattended run.
inline constexpr const wchar_t* kScheduledCleanTaskName = L"Sorvane scheduled clean";
struct CleanSchedule {
    bool weekly = false;
    int day = 0;  // with weekly: 0 Sunday .. 6 Saturday
    int hour = 3;
    int minute = 0;
};
// The task in the Task Scheduler's XML format: a calendar trigger, a
// principal of `user`, highest privileges, `exe` with `arguments` started in
// its own folder, at most four hours.
std::wstring scheduledCleanXml(const std::wstring& exe, const std::wstring& arguments, const std::wstring& user,
                               const CleanSchedule& when);
// As registerLogonTask, for the scheduled clean.
bool registerScheduledClean(const std::wstring& exe, const std::wstring& arguments, const CleanSchedule& when,
                            std::wstring& error);
bool removeScheduledClean(std::wstring& error);

} // namespace sorvane
