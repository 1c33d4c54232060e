#include "base/MessageFormat.h"

namespace {

std::string ArgText(const TMsgArg& arg, char kind) {
    if (const auto* text = std::get_if<std::string>(&arg))
        return *text;
    if (const auto* value = std::get_if<std::int64_t>(&arg)) {
        if (kind == 'u')
            return std::to_string(static_cast<std::uint32_t>(*value));
        return std::to_string(*value);
    }
    const auto value = std::get<std::uint64_t>(arg);
    if (kind == 'd')
        return std::to_string(static_cast<std::int32_t>(value));
    return std::to_string(value);
}

} // namespace

std::string FormatMsg(const std::string& format, std::initializer_list<TMsgArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const char kind = format[i + 1];
        if (kind == '%') {
            out += '%';
            ++i;
        } else if (kind == 's' || kind == 'd' || kind == 'u') {
            if (next != args.end())
                out += ArgText(*next++, kind);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}
