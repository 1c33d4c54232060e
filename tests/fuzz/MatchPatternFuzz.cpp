#include "check/MatchPattern.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The input up to the first newline is the pattern, the rest the page. Any pattern either fails to
// compile or matches within the library's limits; submatches always lie inside the page.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string pattern = input.substr(0, split);
    const std::string page = split == std::string::npos ? std::string() : input.substr(split + 1);
    std::vector<std::string> list;
    MatchPattern(pattern, page, list);
    if (list.size() > TCompiledPattern::kMaxSubmatches)
        __builtin_trap();
    for (const std::string& entry : list)
        if (entry.size() > page.size())
            __builtin_trap();
    return 0;
}
