#include "options/LogWindow.h"
#include "platform/ErrorReport.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace sorvane;

TEST(CleanLog, SavedTextEndsWithOneLineEndAndReplacesTheFile)
{
    testenv::TempFolder dir;
    const std::wstring path = dir.file(L"clean.log");
    saveLogText(path, L"Sorvane : now\r\n\r\nCleaned Cache.... Files Deleted 1 Space Gained 2 Bytes\r\n");
    saveLogText(path, L"short");
    EXPECT_EQ(testenv::readFile(path), "short\r\n");
    EXPECT_THROW(saveLogText(dir.file(L"no\\such\\folder.log"), L"x"), AppError);
}
