#pragma once
// What the backup tests share: the archives of a folder and reproducible
// incompressible data.
#include "support/TestEnv.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace testenv {

// The "*.zip" files of a folder, full paths, sorted.
inline std::vector<std::wstring> zipsIn(const std::wstring& folder) { return filesIn(folder, L"*.zip"); }

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
