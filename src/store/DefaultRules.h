#pragma once
#include "store/ListFiles.h"

#include <string>
#include <vector>

namespace sorvane {

// The factory list of unnecessary-file rules.
const std::vector<UnnecessaryRule>& defaultUnnecessaryRules();

// Writes the factory rule list (DefUNFI.sol).
class clsdefUNFI {
public:
    // Replaces the file with the factory rules. Raises on failure.
    void createDefFile(const std::wstring& path) const;
};

} // namespace sorvane
