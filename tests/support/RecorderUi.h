#pragma once
// A RunHost that records what the engine shows, for tests without windows.
#include "core/EngineUi.h"
#include "core/FileSearch.h"
#include "core/RunState.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace testenv {

// A search that ignores nothing, whatever the application folder holds.
inline void clearIgnoreLists(sorvane::FileSearch& search)
{
    search.setIgnoreNames({});
    search.setIgnoreExtensions({});
    search.setIgnoreFolders({});
}

class RecorderUi : public sorvane::RunHost {
public:
    explicit RecorderUi(sorvane::RunState& run) : m_run(run) {}

    std::vector<std::wstring> statuses;
    std::vector<std::wstring> messages;
    std::vector<std::wstring> stopCaptions;
    std::vector<int> started;
    std::vector<sorvane::ReviewRow> rows;
    std::vector<std::wstring> logs;
    std::set<int> checked;
    std::set<int> checkMarks;
    int reviewShown = 0;
    int pumps = 0;
    int64_t progress = -1;
    int64_t progressMax = -1;
    bool running = false;
    int16_t animation = 0;
    // Answer given to every message box.
    int answer = IDOK;
    // Called at every pump: a test presses Stop from here.
    std::function<void(RecorderUi&)> onPump;

    void pressStopAfterPumps(int n)
    {
        onPump = [n](RecorderUi& ui) {
            if (ui.pumps >= n)
                ui.m_run.bAbort = -1;
        };
    }

    void setStatus(const std::wstring& text) override { statuses.push_back(text); }
    void setProgressMax(int64_t max) override { progressMax = max; }
    void setProgress(int64_t value) override { progress = value; }
    int messageBox(const std::wstring& text, unsigned) override
    {
        messages.push_back(text);
        return answer;
    }
    void pumpMessages() override
    {
        ++pumps;
        if (onPump)
            onPump(*this);
    }
    void startOperation(int store) override
    {
        started.push_back(store);
        statuses.push_back(L"Working");
    }
    void stopOperation(const std::wstring& caption) override
    {
        stopCaptions.push_back(caption);
        statuses.push_back(caption.empty() ? L"Ready" : caption);
        progress = 0;
    }
    void addReviewRow(const sorvane::ReviewRow& row) override { rows.push_back(row); }
    void discardReviewRows() override { rows.clear(); }
    void showReviewWindow(const sorvane::ReviewTools&) override { ++reviewShown; }
    std::vector<std::vector<sorvane::AnalysisRow>> analyses;
    void showAnalysis(const std::vector<sorvane::AnalysisRow>& rows) override { analyses.push_back(rows); }
    bool isCategoryChecked(int store) override { return checked.count(store) != 0; }
    void setCheckMark(int store, bool visible) override
    {
        if (visible)
            checkMarks.insert(store);
        else
            checkMarks.erase(store);
    }
    void setAnimation(int16_t phase) override { animation = phase; }
    void setRunControls(bool r) override { running = r; }
    void showLog(const std::wstring& text) override { logs.push_back(text); }

private:
    sorvane::RunState& m_run;
};

} // namespace testenv
