#include "core/LogonTask.h"

#include "core/ErrorReport.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <cstdio>

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

// A BSTR for one call.
class Bstr {
public:
    explicit Bstr(const std::wstring& s) : m_b(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(m_b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const noexcept { return m_b; }

private:
    BSTR m_b;
};

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

// DOMAIN\user of this process, as the logon trigger names it.
std::wstring currentUser()
{
    wchar_t name[257] = {};
    DWORD n = 257;
    if (!GetUserNameW(name, &n))
        return L"";
    wchar_t domain[256] = {};
    const DWORD d = GetEnvironmentVariableW(L"USERDOMAIN", domain, 256);
    return d > 0 && d < 256 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
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

std::wstring logonTaskXml(const std::wstring& exe, const std::wstring& user)
{
    const size_t slash = exe.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
    const std::wstring who = user.empty() ? std::wstring() : L"<UserId>" + xmlEscaped(user) + L"</UserId>";
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           L"<RegistrationInfo><Description>Starts Sorvane when you log on, as \"Start with Windows\" asks."
           L"</Description></RegistrationInfo>"
           L"<Triggers><LogonTrigger><Enabled>true</Enabled>" + who + L"</LogonTrigger></Triggers>"
           L"<Principals><Principal id=\"Author\">" + who +
           L"<LogonType>InteractiveToken</LogonType><RunLevel>HighestAvailable</RunLevel></Principal></Principals>"
           L"<Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
           L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
           L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><StartWhenAvailable>true</StartWhenAvailable>"
           L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Enabled>true</Enabled></Settings>"
           L"<Actions Context=\"Author\"><Exec><Command>" + xmlEscaped(exe) + L"</Command>"
           L"<WorkingDirectory>" + xmlEscaped(folder) + L"</WorkingDirectory></Exec></Actions>"
           L"</Task>";
}

bool registerLogonTask(const std::wstring& exe, std::wstring& error)
{
    win::ComInit com;
    win::ComPtr<ITaskService> service;
    win::ComPtr<ITaskFolder> folder;
    if (!rootFolder(service, folder, error))
        return false;
    // The whole definition in the task format: one call, and the parts an
    // interface of the service may not offer (its rights) are set all the same.
    const std::wstring user = currentUser();
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
    const HRESULT hr = folder->RegisterTask(Bstr(kLogonTaskName), Bstr(logonTaskXml(exe, user)), TASK_CREATE_OR_UPDATE,
                                            userId, none, TASK_LOGON_INTERACTIVE_TOKEN, none, registered.put());
    if (FAILED(hr)) {
        error = reason(L"The task could not be registered", hr);
        return false;
    }
    // A service that drops a part of the task (Wine keeps neither the logon
    // trigger nor the program) would leave a task that never starts us.
    const LogonTask kept = readLogonTask();
    std::wstring missing;
    if (!kept.logonTrigger)
        missing += L" the logon trigger,";
    if (!kept.highest)
        missing += L" the highest privileges,";
    if (_wcsicmp(kept.path.c_str(), exe.c_str()) != 0)
        missing += L" the program to start,";
    if (missing.empty())
        return true;
    missing.pop_back();
    std::wstring ignored;
    removeLogonTask(ignored);
    error = L"The Task Scheduler did not keep" + missing + L".";
    return false;
}

bool removeLogonTask(std::wstring& error)
{
    win::ComInit com;
    win::ComPtr<ITaskService> service;
    win::ComPtr<ITaskFolder> folder;
    if (!rootFolder(service, folder, error))
        return false;
    const HRESULT hr = folder->DeleteTask(Bstr(kLogonTaskName), 0);
    if (SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        return true;
    error = reason(L"The task could not be removed", hr);
    return false;
}

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
