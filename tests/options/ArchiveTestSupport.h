#pragma once
// What the backup tests share: the archives of a folder and reproducible
// incompressible data.
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace testenv {

// The "*.zip" files of a folder, full paths, sorted.
inline std::vector<std::wstring> zipsIn(const std::wstring& folder)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.zip").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do
        out.push_back(folder + L"\\" + fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

// n bytes that deflate cannot shrink, the same for the same seed.
inline std::string randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

} // namespace testenv
