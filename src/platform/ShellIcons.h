#pragma once
// Small icons of listed files, from the system's image list. A file type
// whose icon is the same for every file is asked of the shell once; types
// that carry their own icon (programs, shortcuts, icons) are asked per file.
#include <windows.h>
#include <commctrl.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace win {

class SmallFileIcons {
public:
    // The system's small image list; shared, so the list view showing it
    // must have LVS_SHAREIMAGELISTS.
    static HIMAGELIST systemList();
    // Index in that list of the icon of `path`, whose file name is `name`.
    int iconOf(const std::wstring& path, std::wstring_view name);
    void clear() { m_byType.clear(); }

private:
    std::unordered_map<std::wstring, int> m_byType;
};

// Looks the icons of a listing up on a thread of its own, so that a window
// never waits for the shell: rows asked for (those on screen) first, then
// the rest in order. Each batch found is announced by posting `message`
// (wParam: the listing's generation) to the window, which takes it.
class IconWorker {
public:
    IconWorker(HWND window, UINT message);
    ~IconWorker();
    IconWorker(const IconWorker&) = delete;
    IconWorker& operator=(const IconWorker&) = delete;

    // A new listing (the files of `folder`, with its backslash); the old one
    // is dropped. Its generation.
    uint64_t start(std::wstring folder, std::vector<std::wstring> names);
    // A row on screen that has no icon yet: it comes next.
    void prefer(size_t row);
    // The icons found since the last call, as (row, icon), when `generation`
    // is still the listing's; none otherwise.
    std::vector<std::pair<size_t, int>> take(uint64_t generation);
    // Rows whose icon is known, of the listing now.
    size_t known() const;

private:
    void run();

    HWND m_window;
    UINT m_message;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    uint64_t m_generation = 0;
    std::wstring m_folder;
    std::vector<std::wstring> m_names;
    std::vector<char> m_done;
    size_t m_next = 0, m_known = 0;
    std::vector<size_t> m_preferred;
    std::vector<std::pair<size_t, int>> m_found;
    bool m_posted = false;
    std::thread m_thread;
};

} // namespace win
