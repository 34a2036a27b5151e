#include "platform/PublicSuffix.h"

#include "platform/Text.h"

#include <cstddef>
#include <string>
#include <unordered_set>

namespace sorvane {

extern const char* const kPublicSuffixRules[];
extern const size_t kPublicSuffixRuleCount;

namespace {

const std::unordered_set<std::string_view>& rules()
{
    static const std::unordered_set<std::string_view> set(kPublicSuffixRules,
                                                          kPublicSuffixRules + kPublicSuffixRuleCount);
    return set;
}

bool listed(std::string_view rule) { return rules().count(rule) > 0; }

} // namespace

bool isPublicSuffix(std::string_view domain)
{
    if (domain.empty())
        return true;
    if (listed("!" + std::string(domain)))
        return false;
    if (listed(domain))
        return true;
    const size_t dot = domain.find('.');
    if (dot == std::string_view::npos)
        return true;  // the implicit rule "*": every top-level label
    return listed("*." + std::string(domain.substr(dot + 1)));
}

std::string registrableDomain(std::string_view host)
{
    while (!host.empty() && host.front() == '.')
        host.remove_prefix(1);
    while (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    const std::string h = asciiLower(host);
    // The longest suffix that is public decides; the label before it makes
    // the registrable domain.
    size_t start = 0;
    size_t previous = std::string::npos;
    for (;;) {
        if (isPublicSuffix(std::string_view(h).substr(start)))
            return previous == std::string::npos ? std::string() : h.substr(previous);
        const size_t dot = h.find('.', start);
        if (dot == std::string::npos)
            return {};
        previous = start;
        start = dot + 1;
    }
}

} // namespace sorvane
