#pragma once
// Where the registrable part of a host name begins, from Mozilla's public
// suffix list (generated into the build from Debian's publicsuffix package):
// "bank.co.uk" is the registrable domain of "www.bank.co.uk", "co.uk" is a
// suffix anybody can register under, and so is "github.io".
#include <string>
#include <string_view>

namespace sorvane {

// Whether `domain` (lowercase, no leading or trailing dot) is a public
// suffix: listed, matched by a wildcard rule and no exception, or a single
// label.
bool isPublicSuffix(std::string_view domain);

// The public suffix of `host` plus one label ("bank.co.uk"), lowercase; empty
// when the host is itself a public suffix or empty. Leading dots (a cookie's
// domain) are ignored.
std::string registrableDomain(std::string_view host);

} // namespace sorvane
