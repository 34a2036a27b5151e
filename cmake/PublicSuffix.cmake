# Turns Mozilla's public suffix list (Debian's publicsuffix package) into a
# sorted table of C++ strings: one rule a line as the list writes it
# ("co.uk", "*.ck", "!www.ck"). Run as: cmake -DIN=list.dat -DOUT=file.cpp -P PublicSuffix.cmake
file(STRINGS "${IN}" lines ENCODING UTF-8)
set(rules "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^//")
    continue()
  endif()
  # A rule ends at the first white space.
  string(REGEX REPLACE "[ \t].*$" "" line "${line}")
  string(TOLOWER "${line}" line)
  list(APPEND rules "${line}")
endforeach()
list(REMOVE_DUPLICATES rules)
list(SORT rules)
list(LENGTH rules count)
if(count LESS 1000)
  message(FATAL_ERROR "${IN} holds only ${count} rules: not the public suffix list")
endif()
set(body "")
foreach(rule IN LISTS rules)
  string(APPEND body "    \"${rule}\",\n")
endforeach()
file(WRITE "${OUT}.tmp" "// Generated from ${IN}; do not edit.\n#include <cstddef>\n\nnamespace sorvane {\n\n"
     "extern const char* const kPublicSuffixRules[] = {\n${body}};\n"
     "extern const size_t kPublicSuffixRuleCount = ${count};\n\n} // namespace sorvane\n")
file(RENAME "${OUT}.tmp" "${OUT}")
