#include "platform/ShellIcons.h"

#include "platform/SystemPaths.h"
#include "platform/Text.h"

#include <objbase.h>
#include <shellapi.h>

namespace win {

namespace {

// Files whose icon is their own rather than their type's.
bool hasOwnIcon(std::wstring_view extension)
{
    for (const wchar_t* e : {L"exe", L"lnk", L"ico", L"cur", L"ani", L"scr", L"url", L"cpl", L"msc", L"pif"})
        if (extension == e)
            return true;
    return false;
}

} // namespace

HIMAGELIST SmallFileIcons::systemList()
{
    SHFILEINFOW info{};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"x.txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
}

int SmallFileIcons::iconOf(const std::wstring& path, std::wstring_view name)
{
    const size_t dot = name.find_last_of(L'.');
    const std::wstring type = dot == std::wstring_view::npos ? std::wstring() : sorvane::toLower(name.substr(dot + 1));
    SHFILEINFOW info{};
    if (hasOwnIcon(type)) {
        if (!sorvane::pathTooLong(path) &&
            SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
            return info.iIcon;
        return 0;
    }
    const auto known = m_byType.find(type);
    if (known != m_byType.end())
        return known->second;
    const std::wstring probe = L"x." + type;
    int index = 0;
    if (SHGetFileInfoW(probe.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
        index = info.iIcon;
    m_byType.emplace(type, index);
    return index;
}

IconWorker::IconWorker(HWND window, UINT message) : m_window(window), m_message(message)
{
    m_thread = std::thread([this] { run(); });
}

IconWorker::~IconWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

uint64_t IconWorker::start(std::wstring folder, std::vector<std::wstring> names)
{
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        generation = ++m_generation;
        m_folder = std::move(folder);
        m_names = std::move(names);
        m_done.assign(m_names.size(), 0);
        m_next = m_known = 0;
        m_preferred.clear();
        m_found.clear();
        m_posted = false;
    }
    m_wake.notify_all();
    return generation;
}

void IconWorker::prefer(size_t row)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (row < m_done.size() && !m_done[row]) {
        // The latest rows asked for are the ones on screen now.
        if (m_preferred.size() >= 512)
            m_preferred.erase(m_preferred.begin(), m_preferred.begin() + 256);
        m_preferred.push_back(row);
    }
}

std::vector<std::pair<size_t, int>> IconWorker::take(uint64_t generation)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted = false;
    if (generation != m_generation)
        return {};
    return std::exchange(m_found, {});
}

size_t IconWorker::known() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_known;
}

void IconWorker::run()
{
    // The shell's icon calls want COM on the thread that makes them.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SmallFileIcons icons;
    uint64_t iconsOf = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || m_next < m_names.size() || !m_preferred.empty(); });
        if (m_stop)
            break;
        if (iconsOf != m_generation) {
            icons.clear();
            iconsOf = m_generation;
        }
        size_t row = m_names.size();
        while (!m_preferred.empty() && row == m_names.size()) {
            const size_t wanted = m_preferred.back();
            m_preferred.pop_back();
            if (wanted < m_done.size() && !m_done[wanted])
                row = wanted;
        }
        while (row == m_names.size() && m_next < m_names.size()) {
            if (!m_done[m_next])
                row = m_next;
            ++m_next;
        }
        if (row == m_names.size())
            continue;
        m_done[row] = 1;
        const uint64_t generation = m_generation;
        const std::wstring path = m_folder + m_names[row];
        const std::wstring name = m_names[row];
        lock.unlock();
        const int icon = icons.iconOf(path, name);
        lock.lock();
        if (generation != m_generation)
            continue;  // a new listing came meanwhile
        m_found.emplace_back(row, icon);
        ++m_known;
        // One message waits at a time; the window takes all found by then.
        if (!m_posted) {
            m_posted = PostMessageW(m_window, m_message, static_cast<WPARAM>(generation), 0) != FALSE;
        }
    }
    lock.unlock();
    if (SUCCEEDED(com))
        CoUninitialize();
}

} // namespace win
