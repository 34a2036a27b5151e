// The logon task starts its program with highest privileges and no prompt:
// it is made only for a program that nobody but administrators can change.
// Wine answers every file's access list from its own mode bits, so the
// decision is checked on descriptors built here, and the refusal on the
// prefix's own files.
#include "platform/LogonTask.h"
#include "platform/Text.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

using namespace sorvane;

namespace {

constexpr const wchar_t* kInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool decide(const std::wstring& sddl, std::wstring& why, bool above = false)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        << toAnsi(sddl);
    why.clear();
    const bool only = onlyAdministratorsCanChange(sd, why, above);
    LocalFree(sd);
    return only;
}

} // namespace

TEST(LogonTask, OnlyAProgramNobodyButAdministratorsCanChangeIsStartedElevated)
{
    std::wstring why;
    // Program Files as Windows sets it up: TrustedInstaller owns it, users read.
    const std::wstring programFiles = std::wstring(L"O:") + kInstaller + L"D:P(A;;FA;;;" + kInstaller +
                                      L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";
    EXPECT_TRUE(decide(programFiles, why)) << toAnsi(why);
    EXPECT_TRUE(decide(L"O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;WD)(D;;FA;;;BU)", why)) << toAnsi(why);
    // A drive's root lets every user make a folder: harmless above the
    // program's own folder, never in it.
    const std::wstring root = L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;CI;0x4;;;AU)";
    EXPECT_TRUE(decide(root, why, true)) << toAnsi(why);
    EXPECT_FALSE(decide(root, why, false));

    // Every way another account could replace what stands there, on the
    // program's own folder and above it alike.
    const std::vector<std::wstring> refused = {
        L"O:BUD:(A;;FA;;;BA)",                                      // the users own it
        L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)",                       // a user owns it
        L"O:BAD:(A;;FA;;;BA)(A;;FA;;;BU)",                          // users have full control
        L"O:BAD:(A;;FA;;;BA)(A;;SD;;;S-1-5-21-1-2-3-1001)",           // may delete (and so replace) it
        L"O:BAD:(A;;FA;;;BA)(A;;WD;;;WD)",                          // may change its access list
        L"O:BAD:(A;;FA;;;BA)(A;;WO;;;IU)",                          // may take it over
        L"O:BAD:(A;;FA;;;BA)(A;;GA;;;BU)",                          // generic rights
        L"O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)",                        // may remove what is inside
        L"O:BA",                                                    // no access list: everyone may
    };
    for (const auto& sddl : refused) {
        for (const bool above : {false, true}) {
            EXPECT_FALSE(decide(sddl, why, above)) << toAnsi(sddl);
            EXPECT_FALSE(why.empty()) << toAnsi(sddl);
        }
    }
    // Writing into the program's own folder plants a library beside it.
    EXPECT_FALSE(decide(L"O:BAD:(A;;FA;;;BA)(A;;FW;;;AU)", why, false));
    // A present but empty (null) access list lets everyone in.
    SECURITY_DESCRIPTOR open{};
    InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    PSID admins = nullptr;
    ConvertStringSidToSidW(L"BA", &admins);
    SetSecurityDescriptorOwner(&open, admins, FALSE);
    SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
    EXPECT_FALSE(onlyAdministratorsCanChange(&open, why, true));
    EXPECT_NE(why.find(L"everyone"), std::wstring::npos);
    LocalFree(admins);
    decide(L"O:BAD:(A;;FA;;;BA)(A;;FA;;;BU)", why);
    EXPECT_NE(why.find(L"Users can change it"), std::wstring::npos) << toAnsi(why);

    // Wine's files belong to the user who runs it: the prefix's program is
    // refused, with the path and the account named.
    const std::wstring exe = testenv::sorvaneExe();
    EXPECT_FALSE(onlyAdministratorsCanChangePath(exe, why));
    EXPECT_NE(why.find(L"can change it"), std::wstring::npos) << toAnsi(why);
    std::wstring error;
    EXPECT_FALSE(registerLogonTask(exe, error));
    EXPECT_EQ(error.rfind(L"Others than administrators can change the program", 0), 0u) << toAnsi(error);
    EXPECT_FALSE(readLogonTask().exists) << "no task was made";
}
