#pragma once
// SHA-256 through the system's own provider (bcrypt), as lowercase hex.
#include <optional>
#include <string>
#include <string_view>

namespace sorvane {

// "" when the provider fails.
std::string sha256Hex(std::string_view bytes);
// The digest of a file's bytes, read in blocks; nothing when it cannot be read.
std::optional<std::string> sha256OfFile(const std::wstring& path);

} // namespace sorvane
