#define PCRE2_CODE_UNIT_WIDTH 8
#include "check/MatchPattern.h"

#include "alerts/AlertItem.h"
#include "check/RequestText.h"
#include "platform/Strings.h"

#include <pcre2.h>

namespace {

constexpr uint32_t kCompileOptions = PCRE2_CASELESS | PCRE2_MULTILINE | PCRE2_DOTALL | PCRE2_UNGREEDY;

struct TMatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct TMatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct TJitStackDeleter {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};

} // namespace

void TCompiledPattern::CodeDeleter::operator()(pcre2_code* code) const {
    pcre2_code_free(code);
}

TCompiledPattern::TCompiledPattern(const std::string& pattern, bool useJit) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), PCRE2_ZERO_TERMINATED,
                                     kCompileOptions, &error, &offset, nullptr);
    if (code == nullptr)
        return;
    m_code.reset(code);
    m_jitted = useJit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
}

TCompiledPattern::~TCompiledPattern() = default;

TMatchResult TCompiledPattern::Match(std::string_view subject, std::vector<std::string>& list) const {
    return Match(subject, list, nullptr);
}

TMatchResult TCompiledPattern::Match(std::string_view subject, std::vector<std::string>& list,
                                     std::vector<std::size_t>* starts) const {
    list.clear();
    if (starts != nullptr)
        starts->clear();
    if (m_code == nullptr)
        return mrCompileError;
    const std::unique_ptr<pcre2_match_data, TMatchDataDeleter> data(
        pcre2_match_data_create(static_cast<uint32_t>(kMaxSubmatches), nullptr));
    if (!data)
        return mrNoMemory;
    const auto subjectBytes = reinterpret_cast<PCRE2_SPTR>(subject.data());

    int rc = PCRE2_ERROR_JIT_STACKLIMIT;
    if (m_jitted) {
        rc = pcre2_match(m_code.get(), subjectBytes, subject.size(), 0, 0, data.get(), nullptr);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
            // The JIT's default stack is small; deep patterns on long pages get a larger one.
            const std::unique_ptr<pcre2_match_context, TMatchContextDeleter> context(
                pcre2_match_context_create(nullptr));
            const std::unique_ptr<pcre2_jit_stack, TJitStackDeleter> stack(
                pcre2_jit_stack_create(32 * 1024, 4 << 20, nullptr));
            if (context && stack) {
                pcre2_jit_stack_assign(context.get(), nullptr, stack.get());
                rc = pcre2_match(m_code.get(), subjectBytes, subject.size(), 0, 0, data.get(), context.get());
            }
        }
    }
    // Without the JIT, or when its stack did not suffice, the interpreter matches.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc = pcre2_match(m_code.get(), subjectBytes, subject.size(), 0, PCRE2_NO_JIT, data.get(), nullptr);

    if (rc >= 0) {
        // 0 means the vector was too small for every group: no submatches are reported then.
        const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data.get());
        for (int k = 0; k < rc; ++k) {
            const PCRE2_SIZE start = vector[2 * k], end = vector[2 * k + 1];
            const bool unset = start == PCRE2_UNSET || end < start;
            if (unset)
                list.emplace_back();
            else
                list.emplace_back(subject.substr(start, end - start));
            if (starts != nullptr)
                starts->push_back(unset ? std::string_view::npos : start);
        }
        return mrMatched;
    }
    switch (rc) {
    case PCRE2_ERROR_NOMATCH:
        return mrNoMatch;
    case PCRE2_ERROR_BADOPTION:
        return mrBadOption;
    case PCRE2_ERROR_INTERNAL:
        return mrUnknownNode;
    case PCRE2_ERROR_NOMEMORY:
        return mrNoMemory;
    default:
        // Other failures (a match or depth limit, for one) count as a match without submatches.
        return mrMatched;
    }
}

TMatchResult MatchPattern(const std::string& pattern, std::string_view subject, std::vector<std::string>& list) {
    list.clear();
    const TCompiledPattern compiled(pattern);
    return compiled.Match(subject, list);
}

std::string ParseAmount(std::string_view text) {
    std::string kept;
    for (const char c : text)
        if ((c >= '0' && c <= '9') || c == '-')
            kept += c;
    std::string out;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        out += kept[i];
        if (kept[i] == '-' && i + 1 < kept.size() && kept[i + 1] == '-')
            ++i;
    }
    return out;
}

std::optional<std::int32_t> BalanceFromMatches(const std::vector<std::string>& list) {
    if (list.size() <= 1)
        return std::nullopt;
    const std::string unitsText = Trim(ParseAmount(list[1]));
    const std::optional<std::int32_t> units = ParseInt32(unitsText);
    if (!units || *units == NoBalance)
        return std::nullopt;
    std::int64_t hundredths = 0;
    if (list.size() > 3)
        hundredths = ParseInt32(Trim(ParseAmount(list[3]))).value_or(0);
    // "-0" units with hundredths are a negative amount below one unit: the sign comes from the text,
    // since the number zero has none.
    const bool negative = *units < 0 || (!unitsText.empty() && unitsText[0] == '-');
    const std::int64_t balance = std::int64_t{*units} * 100 + (negative ? -hundredths : hundredths);
    // Amounts beyond what a balance holds are not taken, rather than wrapped into a wrong one.
    if (balance < INT32_MIN || balance > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(balance);
}
