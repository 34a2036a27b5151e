#include "platform/LogonTask.h"

#include "platform/ErrorReport.h"
#include "platform/SystemPaths.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <aclapi.h>
#include <oleauto.h>
#include <sddl.h>
#include <taskschd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#if !defined(_MSC_VER) && !defined(__ILogonTrigger_INTERFACE_DEFINED__)
// MinGW's header stops short of the logon trigger; its layout as the
// platform defines it.
MIDL_INTERFACE("72dade38-fae4-4b3e-baf4-5d009af02b1c")
ILogonTrigger : public ITrigger
{
    virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR * delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR * user) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
__CRT_UUID_DECL(ILogonTrigger, 0x72dade38, 0xfae4, 0x4b3e, 0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c)
#endif

namespace sorvane {

namespace {

using win::Bstr;

std::wstring takeBstr(BSTR b)
{
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    SysFreeString(b);
    return s;
}

std::wstring reason(const wchar_t* what, HRESULT hr)
{
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    const std::wstring text = win32Message(static_cast<unsigned long>(hr));
    return std::wstring(what) + L": " + (text.empty() ? std::wstring(code) : text + L" (" + code + L")");
}

// The SID as text, or its account's name where it has one.
std::wstring accountOf(PSID sid)
{
    wchar_t name[256] = {}, domain[256] = {};
    DWORD n = 256, d = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &n, domain, &d, &use))
        return d > 1 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return L"an unknown account";
    std::wstring out = text;
    LocalFree(text);
    return out;
}

bool isAdministrative(PSID sid)
{
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid))
        return true;
    // NT SERVICE\TrustedInstaller
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer))
        return false;
    const bool same = EqualSid(sid, installer);
    LocalFree(installer);
    return same;
}

// The root folder of the task service, connected as this user.
bool rootFolder(win::ComPtr<ITaskService>& service, win::ComPtr<ITaskFolder>& folder, std::wstring& error)
{
    HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                  service.putVoid());
    if (FAILED(hr)) {
        error = reason(L"The Task Scheduler is not available", hr);
        return false;
    }
    VARIANT none;
    VariantInit(&none);
    if (FAILED(hr = service->Connect(none, none, none, none))) {
        error = reason(L"The Task Scheduler could not be reached", hr);
        return false;
    }
    if (FAILED(hr = service->GetFolder(Bstr(L"\\"), folder.put()))) {
        error = reason(L"The task folder could not be opened", hr);
        return false;
    }
    return true;
}

} // namespace

bool onlyAdministratorsCanChange(void* securityDescriptor, std::wstring& why, bool above)
{
    const auto sd = static_cast<PSECURITY_DESCRIPTOR>(securityDescriptor);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!sd || !IsValidSecurityDescriptor(sd) || !GetSecurityDescriptorOwner(sd, &owner, &defaulted) || !owner) {
        why = L"its owner cannot be told";
        return false;
    }
    // The owner may always change the access list.
    if (!isAdministrative(owner)) {
        why = L"its owner " + accountOf(owner) + L" can change it";
        return false;
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present || !dacl) {
        why = L"it has no access list, so everyone can change it";
        return false;
    }
    // Above the program's own folder, making a new entry (which every user
    // may do in a drive's root) replaces nothing on the way; removing or
    // renaming one, or taking over the folder, does.
    constexpr ACCESS_MASK kReplaces = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL | MAXIMUM_ALLOWED;
    const ACCESS_MASK kChanges = above ? kReplaces : kReplaces | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            why = L"its access list cannot be read";
            return false;
        }
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;  // for what is made inside later, not for itself
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
            header->AceType == SYSTEM_AUDIT_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            why = L"its access list holds entries that cannot be judged";
            return false;
        }
        const auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const auto sid = reinterpret_cast<PSID>(const_cast<DWORD*>(&ace->SidStart));
        if ((ace->Mask & kChanges) && !isAdministrative(sid)) {
            why = accountOf(sid) + L" can change it";
            return false;
        }
    }
    return true;
}

bool onlyAdministratorsCanChangePath(const std::wstring& exe, std::wstring& why)
{
    std::wstring path = exe;
    for (int level = 0;; ++level) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        const DWORD rc = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                               nullptr, nullptr, nullptr, &sd);
        std::wstring reason;
        // The program and its own folder (where a planted library would be
        // loaded) are checked for every kind of write.
        const bool ok = rc == ERROR_SUCCESS && onlyAdministratorsCanChange(sd, reason, level > 1);
        if (sd)
            LocalFree(sd);
        if (!ok) {
            why = path + L": " + (rc == ERROR_SUCCESS ? reason : L"its access list cannot be read (" + win32Message(rc) + L")");
            return false;
        }
        const size_t slash = path.find_last_of(L'\\');
        if (slash == std::wstring::npos || path.size() <= 3)
            return true;
        path = slash == 2 ? path.substr(0, 3) : path.substr(0, slash);
    }
}

namespace {

std::wstring xmlEscaped(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The text of the first element named `tag`; "" when there is none.
std::wstring element(const std::wstring& xml, const std::wstring& tag)
{
    const size_t open = xml.find(L"<" + tag + L">");
    if (open == std::wstring::npos)
        return L"";
    const size_t from = open + tag.size() + 2;
    const size_t close = xml.find(L"</" + tag + L">", from);
    if (close == std::wstring::npos)
        return L"";
    std::wstring text = xml.substr(from, close - from);
    for (const auto& [entity, c] : {std::pair{L"&lt;", L'<'}, std::pair{L"&gt;", L'>'}, std::pair{L"&quot;", L'"'},
                                    std::pair{L"&amp;", L'&'}})
        for (size_t at; (at = text.find(entity)) != std::wstring::npos;)
            text.replace(at, wcslen(entity), 1, c);
    return text;
}

void fillFromXml(const std::wstring& xml, LogonTask& task)
{
    const size_t triggers = xml.find(L"<Triggers>"), end = xml.find(L"</Triggers>");
    const std::wstring list =
        triggers == std::wstring::npos || end == std::wstring::npos ? L"" : xml.substr(triggers, end - triggers);
    // One trigger, and that a logon.
    task.logonTrigger = list.find(L"<LogonTrigger") != std::wstring::npos &&
                        list.find(L"Trigger", list.find(L"</LogonTrigger>") + 15) == std::wstring::npos;
    task.triggerUser = element(list, L"UserId");
    task.highest = element(xml, L"RunLevel") == L"HighestAvailable";
    task.path = element(xml, L"Command");
}

} // namespace

namespace {

std::wstring userElement(const std::wstring& user)
{
    return user.empty() ? std::wstring() : L"<UserId>" + xmlEscaped(user) + L"</UserId>";
}

// A task in the Task Scheduler's XML format: `triggers`, a principal of
// `user` with highest privileges, `exe` (with `arguments`) started in its
// own folder, stopped after `timeLimit` (PT0S: never).
std::wstring taskXml(const std::wstring& description, const std::wstring& triggers, const std::wstring& exe,
                     const std::wstring& arguments, const std::wstring& user, const wchar_t* timeLimit)
{
    const size_t slash = exe.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
    const std::wstring who = userElement(user);
    const std::wstring args = arguments.empty() ? std::wstring() : L"<Arguments>" + xmlEscaped(arguments) + L"</Arguments>";
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           L"<RegistrationInfo><Description>" + xmlEscaped(description) + L"</Description></RegistrationInfo>"
           L"<Triggers>" + triggers + L"</Triggers>"
           L"<Principals><Principal id=\"Author\">" + who +
           L"<LogonType>InteractiveToken</LogonType><RunLevel>HighestAvailable</RunLevel></Principal></Principals>"
           L"<Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
           L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
           L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><StartWhenAvailable>true</StartWhenAvailable>"
           L"<ExecutionTimeLimit>" + std::wstring(timeLimit) + L"</ExecutionTimeLimit><Enabled>true</Enabled></Settings>"
           L"<Actions Context=\"Author\"><Exec><Command>" + xmlEscaped(exe) + L"</Command>" + args +
           L"<WorkingDirectory>" + xmlEscaped(folder) + L"</WorkingDirectory></Exec></Actions>"
           L"</Task>";
}

} // namespace

std::wstring logonTaskXml(const std::wstring& exe, const std::wstring& user)
{
    return taskXml(L"Starts Sorvane when you log on, as \"Start with Windows\" asks.",
                   L"<LogonTrigger><Enabled>true</Enabled>" + userElement(user) + L"</LogonTrigger>", exe, L"", user, L"PT0S");
}

namespace {

// Registers (or replaces) the task `name` from `xml(user)` for the account of
// the process's token, after making sure only administrators can change
// `exe`; then `kept` names what the service dropped of it (the task's own
// text read back), and a task that lost anything is removed again.
bool registerVerified(const wchar_t* name, const std::wstring& exe,
                      const std::function<std::wstring(const std::wstring& user)>& xml,
                      const std::function<std::wstring(const std::wstring& keptXml)>& missingIn, std::wstring& error)
{
    win::ComInit com;
    win::ComPtr<ITaskService> service;
    win::ComPtr<ITaskFolder> folder;
    if (!rootFolder(service, folder, error))
        return false;
    // A task with highest privileges starts whatever stands at the path,
    // with no prompt: only administrators may be able to put it there.
    std::wstring who;
    if (!onlyAdministratorsCanChangePath(exe, who)) {
        error = L"Others than administrators can change the program or a folder above it (" + who +
                L"), and a task would start whatever they put there with administrator rights. Install Sorvane "
                L"in a folder only administrators can change, such as Program Files.";
        return false;
    }
    // The whole definition in the task format: one call, and the parts an
    // interface of the service may not offer (its rights) are set all the same.
    // The account is named by its SID, from the token: the name variables of
    // the environment are the user's to set.
    const std::wstring user = currentUserSid();
    VARIANT none;
    VariantInit(&none);
    VARIANT userId;
    VariantInit(&userId);
    Bstr userText(user);
    if (!user.empty()) {
        userId.vt = VT_BSTR;
        userId.bstrVal = userText;
    }
    win::ComPtr<IRegisteredTask> registered;
    const HRESULT hr = folder->RegisterTask(Bstr(name), Bstr(xml(user)), TASK_CREATE_OR_UPDATE, userId, none,
                                            TASK_LOGON_INTERACTIVE_TOKEN, none, registered.put());
    if (FAILED(hr)) {
        error = reason(L"The task could not be registered", hr);
        return false;
    }
    // A service that drops a part of the task (Wine keeps neither triggers
    // nor run levels) would leave a task that never does its work.
    std::wstring keptXml;
    win::ComPtr<IRegisteredTask> readBack;
    BSTR text = nullptr;
    if (SUCCEEDED(folder->GetTask(Bstr(name), readBack.put())) && SUCCEEDED(readBack->get_Xml(&text)))
        keptXml = takeBstr(text);
    std::wstring missing = missingIn(keptXml);
    if (missing.empty())
        return true;
    missing.pop_back();
    folder->DeleteTask(Bstr(name), 0);
    error = L"The Task Scheduler did not keep" + missing + L".";
    return false;
}

bool removeTask(const wchar_t* name, std::wstring& error)
{
    win::ComInit com;
    win::ComPtr<ITaskService> service;
    win::ComPtr<ITaskFolder> folder;
    if (!rootFolder(service, folder, error))
        return false;
    const HRESULT hr = folder->DeleteTask(Bstr(name), 0);
    if (SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        return true;
    error = reason(L"The task could not be removed", hr);
    return false;
}

} // namespace

bool registerLogonTask(const std::wstring& exe, std::wstring& error)
{
    return registerVerified(
        kLogonTaskName, exe, [&](const std::wstring& user) { return logonTaskXml(exe, user); },
        [&](const std::wstring&) {
            const LogonTask kept = readLogonTask();
            std::wstring missing;
            if (!kept.logonTrigger)
                missing += L" the logon trigger,";
            if (!kept.highest)
                missing += L" the highest privileges,";
            if (_wcsicmp(kept.path.c_str(), exe.c_str()) != 0)
                missing += L" the program to start,";
            return missing;
        },
        error);
}

std::wstring scheduledCleanXml(const std::wstring& exe, const std::wstring& arguments, const std::wstring& user,
                               const CleanSchedule& when)
{
    static const wchar_t* const kDays[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday",
                                           L"Thursday", L"Friday", L"Saturday"};
    wchar_t start[32];
    swprintf(start, 32, L"2026-01-01T%02d:%02d:00", std::clamp(when.hour, 0, 23), std::clamp(when.minute, 0, 59));
    const std::wstring schedule =
        when.weekly ? L"<ScheduleByWeek><DaysOfWeek><" + std::wstring(kDays[std::clamp(when.day, 0, 6)]) +
                          L" /></DaysOfWeek><WeeksInterval>1</WeeksInterval></ScheduleByWeek>"
                    : L"<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay>";
    return taskXml(L"Cleans with Sorvane on the schedule its options window set.",
                   L"<CalendarTrigger><StartBoundary>" + std::wstring(start) + L"</StartBoundary><Enabled>true</Enabled>" +
                       schedule + L"</CalendarTrigger>",
                   exe, arguments, user, L"PT4H");
}

bool registerScheduledClean(const std::wstring& exe, const std::wstring& arguments, const CleanSchedule& when,
                            std::wstring& error)
{
    return registerVerified(
        kScheduledCleanTaskName, exe,
        [&](const std::wstring& user) { return scheduledCleanXml(exe, arguments, user, when); },
        [&](const std::wstring& kept) {
            std::wstring missing;
            if (kept.find(L"<CalendarTrigger") == std::wstring::npos)
                missing += L" the schedule,";
            if (element(kept, L"RunLevel") != L"HighestAvailable")
                missing += L" the highest privileges,";
            if (_wcsicmp(element(kept, L"Command").c_str(), exe.c_str()) != 0 || element(kept, L"Arguments") != arguments)
                missing += L" the program to start,";
            return missing;
        },
        error);
}

bool removeScheduledClean(std::wstring& error) { return removeTask(kScheduledCleanTaskName, error); }

bool removeLogonTask(std::wstring& error) { return removeTask(kLogonTaskName, error); }

LogonTask readLogonTask()
{
    LogonTask result;
    win::ComInit com;
    win::ComPtr<ITaskService> service;
    win::ComPtr<ITaskFolder> folder;
    if (!rootFolder(service, folder, result.error))
        return result;
    win::ComPtr<IRegisteredTask> registered;
    if (FAILED(folder->GetTask(Bstr(kLogonTaskName), registered.put())))
        return result;
    result.exists = true;
    // The task's own text first: what an interface of the service cannot
    // give is read from it.
    BSTR xml = nullptr;
    if (SUCCEEDED(registered->get_Xml(&xml)))
        fillFromXml(takeBstr(xml), result);
    win::ComPtr<ITaskDefinition> task;
    if (FAILED(registered->get_Definition(task.put()))) {
        result.error = L"its definition cannot be read";
        return result;
    }
    win::ComPtr<IPrincipal> principal;
    TASK_RUNLEVEL_TYPE level = TASK_RUNLEVEL_LUA;
    if (SUCCEEDED(task->get_Principal(principal.put())) && SUCCEEDED(principal->get_RunLevel(&level)))
        result.highest = level == TASK_RUNLEVEL_HIGHEST;
    else
        result.error += L"its run level cannot be read as an object; ";
    win::ComPtr<ITriggerCollection> triggers;
    win::ComPtr<ITrigger> trigger;
    LONG count = 0;
    if (SUCCEEDED(task->get_Triggers(triggers.put())) && SUCCEEDED(triggers->get_Count(&count)) && count == 1 &&
        SUCCEEDED(triggers->get_Item(1, trigger.put()))) {
        TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
        trigger->get_Type(&type);
        result.logonTrigger = type == TASK_TRIGGER_LOGON;
        win::ComPtr<ILogonTrigger> logon;
        BSTR user = nullptr;
        if (SUCCEEDED(trigger->QueryInterface(__uuidof(ILogonTrigger), logon.putVoid())) && SUCCEEDED(logon->get_UserId(&user)))
            result.triggerUser = takeBstr(user);
    } else {
        result.error += L"its trigger cannot be read as an object; ";
    }
    win::ComPtr<IActionCollection> actions;
    win::ComPtr<IAction> action;
    win::ComPtr<IExecAction> run;
    BSTR path = nullptr;
    if (SUCCEEDED(task->get_Actions(actions.put())) && SUCCEEDED(actions->get_Item(1, action.put())) &&
        SUCCEEDED(action->QueryInterface(IID_IExecAction, run.putVoid())) && SUCCEEDED(run->get_Path(&path)))
        result.path = takeBstr(path);
    else
        result.error += L"its program cannot be read as an object; ";
    return result;
}

} // namespace sorvane
