#pragma once
// The narrow interface through which the clean engine (search, deletion,
// cleaners, the run driver) talks to the user interface. The main window
// implements it; tests implement it with a recorder.
#include "platform/Yielder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane {

class DeletionEngine;
class FileSearch;
struct RunState;
struct AnalysisRow;

// One row of the review list of gathered files.
struct ReviewRow {
    std::wstring name;
    uint64_t size = 0;
    std::wstring dateTime;
    std::wstring attributes;
    std::wstring folder;  // with its trailing backslash
};

// What the review list deletes with and reports to while it is shown.
struct ReviewTools {
    DeletionEngine& deletion;
    FileSearch& search;
    RunState& run;
};

class EngineUi : public MessagePump {
public:
    virtual ~EngineUi() = default;

    virtual void setStatus(const std::wstring& text) = 0;
    virtual void setProgressMax(int64_t max) = 0;
    virtual void setProgress(int64_t value) = 0;
    // MessageBox flags and result; the title is always the application title.
    virtual int messageBox(const std::wstring& text, unsigned flags) = 0;

    // Brackets of every cleaner: the activity picture beside the category's
    // check box, the run buttons, the status line.
    virtual void startOperation(int categoryStore) = 0;
    virtual void stopOperation(const std::wstring& caption) = 0;

    // Review list of the drive-wide cleaners: rows gather in a hidden list
    // until one cleaner shows it.
    virtual void addReviewRow(const ReviewRow& row) = 0;
    virtual void discardReviewRows() = 0;
    // Shows the gathered rows modally, where the user deletes through
    // `tools`; returns when the user has closed the list.
    virtual void showReviewWindow(const ReviewTools& tools) = 0;
};

// What a clean run needs of the window beyond the engine interface: the
// run driver talks to the window through it, and a test records it.
class RunHost : public EngineUi {
public:
    virtual bool isCategoryChecked(int store) = 0;
    virtual void setCheckMark(int store, bool visible) = 0;
    // 0 idle, 1 at the start of a run.
    virtual void setAnimation(int16_t phase) = 0;
    // Running: Clean and the File and Tools menus off, Stop on; idle: the reverse.
    virtual void setRunControls(bool running) = 0;
    virtual void showLog(const std::wstring& text) = 0;
    // The rows of a finished analysis, shown modally.
    virtual void showAnalysis(const std::vector<AnalysisRow>& rows) = 0;
};

// An interface that shows nothing and answers every question with OK: the
// deletion engine's view from a tool window, and the benchmarks'.
class SilentUi : public EngineUi {
public:
    void setStatus(const std::wstring&) override {}
    void setProgressMax(int64_t) override {}
    void setProgress(int64_t) override {}
    int messageBox(const std::wstring&, unsigned) override { return 1; }  // IDOK
    void pumpMessages() override {}
    void startOperation(int) override {}
    void stopOperation(const std::wstring&) override {}
    void addReviewRow(const ReviewRow&) override {}
    void discardReviewRows() override {}
    void showReviewWindow(const ReviewTools&) override {}
};

} // namespace sorvane
