#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;

// Outcome of an extraction: a regular expression matched against a page, or a pattern script run.
enum TMatchResult {
    mrMatched = 0,      // matched (a script returned at least one line)
    mrNoMatch = 1,      // no match (a script returned no line)
    mrCompileError = 2, // the pattern did not compile (a script could not be read or parsed)
    mrBadOption = 3,    // the matcher rejected an option (a script's get_balance failed)
    mrNoMemory = 4,     // the matcher ran out of memory
    mrUnknownNode = 5,  // the matcher met an internal error in the compiled pattern
};

// An extraction pattern compiled once: caseless, multi-line, dot-all and ungreedy, over bytes with
// the default character tables, JIT-compiled when the platform allows it.
class TCompiledPattern {
public:
    // Submatches a match returns at most: the pairs a 100-integer result vector holds.
    static constexpr std::size_t kMaxSubmatches = 33;

    // The pattern text ends at its first zero byte.
    explicit TCompiledPattern(const std::string& pattern, bool useJit = true);
    ~TCompiledPattern();
    TCompiledPattern(const TCompiledPattern&) = delete;
    TCompiledPattern& operator=(const TCompiledPattern&) = delete;

    bool Compiled() const { return m_code != nullptr; }
    bool Jitted() const { return m_jitted; }

    // Matches once from the start of the subject (all its bytes, zero bytes included). The list is
    // cleared, then gets the whole match and each group (empty for a group that took no part).
    // mrCompileError when the pattern did not compile.
    TMatchResult Match(std::string_view subject, std::vector<std::string>& list) const;
    // The same; `starts`, when given, gets the offset in the subject of each submatch (npos for a
    // group that took no part).
    TMatchResult Match(std::string_view subject, std::vector<std::string>& list,
                       std::vector<std::size_t>* starts) const;

private:
    struct CodeDeleter {
        void operator()(pcre2_real_code_8* code) const;
    };
    std::unique_ptr<pcre2_real_code_8, CodeDeleter> m_code;
    bool m_jitted = false;
};

// Compiles the pattern, matches it once against the subject and frees it.
TMatchResult MatchPattern(const std::string& pattern, std::string_view subject, std::vector<std::string>& list);

// The balance, in hundredths, that a check reads from the submatches of a match: units from submatch
// 1, hundredths from submatch 3 with the units' sign. Nothing when there are fewer than two
// submatches, the units are no integer, or the amount does not fit a balance.
std::optional<std::int32_t> BalanceFromMatches(const std::vector<std::string>& list);

// Keeps only digits and minus signs, then turns each "--" into "-" in one left-to-right pass.
std::string ParseAmount(std::string_view text);
