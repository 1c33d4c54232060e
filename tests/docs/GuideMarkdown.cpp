#include "GuideMarkdown.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "file=PATH" among the words of a fence's info string; empty when there is none.
std::string fileOf(const std::string& info) {
    std::size_t at = 0;
    while (at < info.size()) {
        const std::size_t end = std::min(info.find(' ', at), info.size());
        const std::string word = info.substr(at, end - at);
        if (startsWith(word, "file="))
            return word.substr(5);
        at = end + 1;
    }
    return {};
}

void readConsole(const std::vector<std::string>& lines, int firstLine, GuideBlock& block) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (startsWith(line, "$ ")) {
            GuideCommand command;
            command.line = firstLine + static_cast<int>(i);
            command.text = line.substr(2);
            while (!command.text.empty() && command.text.back() == '\\' && i + 1 < lines.size())
                command.text += "\n" + lines[++i];
            block.commands.push_back(std::move(command));
        } else if (!block.commands.empty()) {
            block.commands.back().expected.push_back(line);
        }
    }
}

// A log line's time stamp: the date and the time in the locale's forms, then ": ", as in
// "9 Dec 2026 06:17:04: " or "12/9/26 6:17:04 AM: ".
std::string withoutTimeStamp(const std::string& line) {
    static const QRegularExpression stamp(QStringLiteral(R"(^[^:]*\d:\d\d:\d\d( ?[AaPp][Mm])?: )"));
    return QString::fromStdString(line).replace(stamp, QStringLiteral("<time>: ")).toStdString();
}

bool parseJson(const std::string& text, QJsonDocument& document) {
    QJsonParseError error{};
    document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

std::vector<GuideBlock> ReadGuideBlocks(const std::string& markdown) {
    const std::vector<std::string> lines = splitLines(markdown);
    std::vector<GuideBlock> blocks;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!startsWith(lines[i], "```"))
            continue;
        const std::string info = lines[i].substr(3);
        const int openLine = static_cast<int>(i) + 1;
        std::vector<std::string> body;
        std::size_t end = i + 1;
        while (end < lines.size() && !startsWith(lines[end], "```"))
            body.push_back(lines[end++]);
        i = end;

        const std::string file = fileOf(info);
        if (!file.empty()) {
            GuideBlock block;
            block.kind = GuideBlock::Kind::File;
            block.line = openLine;
            block.file = file;
            for (const std::string& line : body)
                block.text += line + "\n";
            blocks.push_back(std::move(block));
        } else if (info == "console") {
            GuideBlock block;
            block.kind = GuideBlock::Kind::Console;
            block.line = openLine;
            readConsole(body, openLine + 1, block);
            blocks.push_back(std::move(block));
        }
    }
    return blocks;
}

bool OutputMatches(const std::vector<std::string>& expected, const std::string& actualText, std::string& why) {
    std::vector<std::string> actual = splitLines(actualText);
    std::size_t j = 0;
    for (std::size_t i = 0; i < expected.size(); ++i, ++j) {
        const std::string shown = expected[i];
        if (j >= actual.size()) {
            why = "the output ends where the guide shows: " + shown;
            return false;
        }
        if (startsWith(shown, "{")) {
            // The guide's object runs until its text parses; the tool's is one line.
            std::string text = shown;
            QJsonDocument guideJson;
            while (!parseJson(text, guideJson) && i + 1 < expected.size())
                text += "\n" + expected[++i];
            if (guideJson.isNull()) {
                why = "the guide's JSON does not parse: " + text;
                return false;
            }
            QJsonDocument toolJson;
            if (!parseJson(actual[j], toolJson) || toolJson != guideJson) {
                why = "the guide shows the JSON\n" + guideJson.toJson(QJsonDocument::Compact).toStdString() +
                      "\nthe tool printed\n" + actual[j];
                return false;
            }
            continue;
        }
        if (withoutTimeStamp(shown) != withoutTimeStamp(actual[j])) {
            why = "the guide shows\n" + shown + "\nthe tool printed\n" + actual[j];
            return false;
        }
    }
    if (j < actual.size()) {
        why = "the output goes on where the guide ends: " + actual[j];
        return false;
    }
    return true;
}
