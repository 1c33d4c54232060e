#include "desktop/StatusFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr std::string_view kSeparator = " \xC2\xB7 "; // " · "

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string JsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string FillTemplate(const TBalanceEntry& entry, const std::string& rowTemplate) {
    std::string out;
    std::size_t pos = 0;
    while (pos < rowTemplate.size()) {
        const std::size_t open = rowTemplate.find('{', pos);
        const std::size_t close = open == std::string::npos ? open : rowTemplate.find('}', open);
        if (close == std::string::npos) {
            out += rowTemplate.substr(pos);
            break;
        }
        out += rowTemplate.substr(pos, open - pos);
        const std::string key = rowTemplate.substr(open + 1, close - open - 1);
        if (key == "id")
            out += entry.Id;
        else if (key == "name")
            out += entry.Name;
        else if (key == "balance")
            out += entry.Balance;
        else if (key == "trend")
            out += entry.Trend;
        else if (key == "status")
            out += entry.Status;
        else if (key == "warning")
            out += entry.Warning;
        else if (key == "failed")
            out += std::to_string(entry.FailedInARow);
        else
            out += rowTemplate.substr(open, close - open + 1);
        pos = close + 1;
    }
    return out;
}

std::string Joined(const TBalanceEntries& entries, const std::string& rowTemplate) {
    std::string text;
    for (const TBalanceEntry& entry : entries) {
        if (!text.empty())
            text += kSeparator;
        text += FillTemplate(entry, rowTemplate);
    }
    return text;
}

std::string Tooltip(const TBalanceEntries& entries) {
    std::string tooltip;
    for (const TBalanceEntry& entry : entries) {
        if (!tooltip.empty())
            tooltip += '\n';
        tooltip += entry.Name + ": " + entry.Balance;
        if (!entry.Status.empty())
            tooltip += " (" + entry.Status + ")";
        if (!entry.Warning.empty())
            tooltip += ", " + entry.Warning + " limit";
    }
    return tooltip;
}

const char* ColourOf(const std::string& state) {
    if (state == "failed")
        return "#FF5555";
    if (state == "warning")
        return "#FFB86C";
    if (state == "stopped")
        return "#888888";
    return nullptr;
}

} // namespace

bool ParseStatusFormat(std::string_view name, TStatusFormat& format) {
    if (name == "text")
        format = TStatusFormat::Text;
    else if (name == "json")
        format = TStatusFormat::Json;
    else if (name == "waybar")
        format = TStatusFormat::Waybar;
    else if (name == "i3blocks")
        format = TStatusFormat::I3blocks;
    else
        return false;
    return true;
}

std::string StatusClass(const TBalanceEntries* entries) {
    if (entries == nullptr)
        return "stopped";
    bool warning = false, changed = false;
    for (const TBalanceEntry& entry : *entries) {
        if (entry.FailedInARow > 0)
            return "failed";
        warning = warning || !entry.Warning.empty();
        changed = changed || entry.Trend == "up" || entry.Trend == "down";
    }
    return warning ? "warning" : changed ? "changed" : "ok";
}

std::string StatusText(const TBalanceEntries& entries, const std::string& rowTemplate) {
    return Joined(entries, rowTemplate);
}

std::string StatusOutput(TStatusFormat format, const TBalanceEntries* entries, const std::string& rowTemplate,
                         bool follow) {
    const std::string state = StatusClass(entries);
    const std::string text = entries != nullptr ? StatusText(*entries, rowTemplate) : state;
    switch (format) {
    case TStatusFormat::Text:
        return text;
    case TStatusFormat::Json: {
        QJsonArray rows;
        if (entries != nullptr) {
            for (const TBalanceEntry& entry : *entries)
                rows.append(QJsonObject{{QStringLiteral("id"), Utf8(entry.Id)},
                                        {QStringLiteral("name"), Utf8(entry.Name)},
                                        {QStringLiteral("balance"), Utf8(entry.Balance)},
                                        {QStringLiteral("trend"), Utf8(entry.Trend)},
                                        {QStringLiteral("status"), Utf8(entry.Status)},
                                        {QStringLiteral("warning"), Utf8(entry.Warning)},
                                        {QStringLiteral("failed_in_a_row"), static_cast<qint64>(entry.FailedInARow)}});
        }
        return JsonLine({{QStringLiteral("class"), Utf8(state)}, {QStringLiteral("balances"), rows}});
    }
    case TStatusFormat::Waybar:
        return JsonLine({{QStringLiteral("text"), Utf8(text)},
                         {QStringLiteral("alt"), Utf8(state)},
                         {QStringLiteral("tooltip"),
                          Utf8(entries != nullptr ? Tooltip(*entries) : std::string("Tallyglass is not running"))},
                         {QStringLiteral("class"), Utf8(state)}});
    case TStatusFormat::I3blocks: {
        if (follow)
            return text;
        std::string out = text + '\n' + (entries != nullptr ? StatusText(*entries, "{balance}") : state);
        if (const char* colour = ColourOf(state))
            out += std::string("\n") + colour;
        return out;
    }
    }
    return text;
}
