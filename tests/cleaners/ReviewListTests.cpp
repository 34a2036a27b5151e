// The review list's Delete with the backup method: a file is only handed to
// the archive at first, and a row counts as deleted once the flush that
// stores its entry has really deleted it.
#include "cleaners/ReviewList.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace sorvane;
using namespace testenv;

TEST(ReviewListBackup, ARowWhoseFileStayedAtTheFlushIsNotCountedNorRemoved)
{
    TempFolder dir;
    ReviewList list;
    for (const wchar_t* name : {L"a.tmp", L"b.tmp", L"c.tmp"}) {
        writeFile(dir.file(name), "1234");
        list.add(ReviewRow{name, 4, L"", L"A", dir.path() + L"\\"});
    }
    RunState run;
    std::vector<std::wstring> failed;
    ReviewDeleteHooks hooks;
    hooks.deleteOne = [](const std::wstring&, uint64_t&) { return 1; };  // handed over, every one
    hooks.onFailure = [&](const std::wstring& path) { failed.push_back(path); };
    hooks.settle = [&] { return std::vector<std::wstring>{dir.file(L"b.tmp")}; };
    const ReviewTally tally = list.deleteRows(false, run, hooks);
    EXPECT_EQ(tally.count, 2);
    EXPECT_EQ(tally.bytes, 8u);
    EXPECT_EQ(run.lngTotalFiles, 2);
    EXPECT_EQ(list.deletedCount(), 2);
    ASSERT_EQ(list.size(), 1u) << "the row of the file that stayed is still listed";
    EXPECT_EQ(list.at(0).fullPath(), dir.file(L"b.tmp"));
    EXPECT_FALSE(list.at(0).checked);
    EXPECT_EQ(failed, std::vector<std::wstring>{dir.file(L"b.tmp")});
}
