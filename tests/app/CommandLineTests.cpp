// The command line of unattended use: what it reads, and every mistake
// refused whole before anything could run.
#include "app/CommandLine.h"
#include "platform/Text.h"
#include "store/StartupSettings.h"

#include <gtest/gtest.h>

using namespace sorvane;

TEST(CommandLine, ReadsEverySwitchAndRefusesEveryMistake)
{
    EXPECT_EQ(parseCommandLine({}).mode, RunMode::Window) << "no arguments: the window, as always";
    EXPECT_EQ(parseCommandLine({L"/?"}).mode, RunMode::Usage);

    const auto args = commandLineArguments(
        LR"(C:\Sorvane\Sorvane.exe -CLEAN "/categories: cache , Recycle bin,WINDOWS CLEANUP" /Method:r )"
        LR"("/json:C:\Reports\it's a report.json" /review:ALL)");
    const CommandLine clean = parseCommandLine(args);
    EXPECT_EQ(clean.error, L"");
    EXPECT_EQ(clean.mode, RunMode::Clean);
    ASSERT_TRUE(clean.categories);
    EXPECT_EQ(*clean.categories, (std::vector<int>{11, 0, 18}));
    EXPECT_EQ(clean.method, std::optional<int16_t>(kRecycleBin));
    EXPECT_EQ(clean.json, L"C:\\Reports\\it's a report.json");
    EXPECT_TRUE(clean.reviewAll);

    const CommandLine analyze = parseCommandLine({L"/analyze", L"/threshold:1073741824"});
    EXPECT_EQ(analyze.mode, RunMode::Analyze);
    EXPECT_EQ(analyze.threshold, std::optional<uint64_t>(1073741824));
    EXPECT_FALSE(analyze.categories) << "absent: the ticked ones";
    EXPECT_FALSE(analyze.reviewAll) << "skip unless said";

    const std::vector<std::vector<std::wstring>> bad = {
        {L"/clean", L"/analyze"},                 // two runs
        {L"/clean", L"/clean"},                   // twice
        {L"/categories:Cache"},                   // no run
        {L"/clean", L"/categories:Cache,Cokies"}, // a typo
        {L"/clean", L"/categories:"},             // empty
        {L"/clean", L"/method:X"},
        {L"/clean", L"/method:DR"},
        {L"/clean", L"/json:report.json"},        // relative
        {L"/clean", L"/json:\\\\server\\share\\r.json"},
        {L"/clean", L"/json:C:\\Reports\\..\\Windows\\r.json"},
        {L"/clean", L"/threshold:100"},           // threshold without analyze
        {L"/analyze", L"/threshold:-1"},
        {L"/analyze", L"/threshold:1e9"},
        {L"/analyze", L"/review:some"},
        {L"/analyze:now"},
        {L"/analyse"},
        {L"clean"},
        {L"/?", L"/clean"},
    };
    for (const auto& line : bad) {
        const CommandLine c = parseCommandLine(line);
        std::wstring text;
        for (const auto& a : line)
            text += a + L" ";
        EXPECT_FALSE(c.error.empty()) << toAnsi(text);
    }
}
