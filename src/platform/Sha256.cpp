#include "platform/Sha256.h"

#include "platform/SystemPaths.h"
#include "win/UniqueHandle.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace sorvane {

namespace {

// Feeds the hash from `next` (which hands out the next block, or an empty
// view at the end, and false on a failure).
std::optional<std::string> digest(const std::function<bool(std::string_view&)>& next)
{
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char bytes[32] = {};
    bool ok = BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0;
    ok = ok && BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    for (std::string_view block; ok;) {
        if (!next(block)) {
            ok = false;
            break;
        }
        if (block.empty())
            break;
        ok = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(block.data())),
                            static_cast<ULONG>(block.size()), 0) >= 0;
    }
    ok = ok && BCryptFinishHash(hash, bytes, sizeof bytes, 0) >= 0;
    if (hash)
        BCryptDestroyHash(hash);
    if (alg)
        BCryptCloseAlgorithmProvider(alg, 0);
    if (!ok)
        return std::nullopt;
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace

std::string sha256Hex(std::string_view bytes)
{
    size_t at = 0;
    return digest([&](std::string_view& block) {
               const size_t n = std::min<size_t>(bytes.size() - at, 1u << 30);
               block = bytes.substr(at, n);
               at += n;
               return true;
           })
        .value_or("");
}

std::optional<std::string> sha256OfFile(const std::wstring& path)
{
    win::UniqueFile file(CreateFileW(apiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return std::nullopt;
    std::vector<char> buf(1u << 20);
    return digest([&](std::string_view& block) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr))
            return false;
        block = std::string_view(buf.data(), got);
        return true;
    });
}

} // namespace sorvane
