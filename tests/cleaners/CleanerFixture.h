#pragma once
#include "cleaners/Cleaners.h"
#include "support/RecorderUi.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace testenv {

// One cleaner's world: run state, a recording window, search and deletion.
class CleanerTest : public ::testing::Test {
protected:
    CleanerTest()
    {
        testenv::clearIgnoreLists(search);
    }
    void fill(const std::wstring& rel, size_t bytes)
    {
        const std::wstring full = dir.file(rel);
        makeDir(full.substr(0, full.find_last_of(L'\\')));
        writeFile(full, std::string(bytes, 'j'));
    }
    std::wstring lastLine() const
    {
        const std::wstring& log = run.strLog;
        if (log.size() < 2)
            return log;
        const size_t start = log.rfind(L"\r\n", log.size() - 3);
        return start == std::wstring::npos ? log : log.substr(start + 2);
    }

    ScopedAppFolder app;
    TempFolder dir;
    sorvane::RunState run;
    RecorderUi ui{run};
    sorvane::FileSearch search{ui, run};
    sorvane::DeleteSettings settings;
    sorvane::DeletionEngine deletion{ui, run, settings};
    sorvane::CleanerContext ctx{ui, run, search, deletion, [this](int s) { return ui.isCategoryChecked(s); }};
};

} // namespace testenv
