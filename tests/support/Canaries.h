#pragma once
// Canaries: files with known bytes and times in the places no cleaner may
// reach (the profile's documents and desktop, the application folder, a
// second drive, the targets of folder links, the other names of hard links,
// the system folders). They are planted before the first test of every test
// executable and checked after the last; one that changed fails the run by
// name.
#include <string>
#include <vector>

namespace testenv {

struct Canary {
    std::wstring path;
    std::string bytes;
};

const std::vector<Canary>& canaries();
// Gives a cleaned folder a second name of a canary's data; deleting or wiping
// that name must leave the canary's bytes alone.
void linkCanaryInto(const std::wstring& path);
// Whether every canary is as planted; the names of those that are not.
std::vector<std::wstring> damagedCanaries();

} // namespace testenv
