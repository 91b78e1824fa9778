// SPDX-License-Identifier: MIT
// panel_frame.cpp
//
// The panel's layout: columns, colours and the fit to the terminal's width.
#include "tools/gaugehost/panel/panel_frame.h"

#include <sstream>

namespace gaugehost {

namespace {

constexpr size_t kLabelColumns = 20;
constexpr size_t kTextColumns = 9;
constexpr size_t kValueColumns = 10;
constexpr size_t kTrendColumnAt = 2 + kLabelColumns + kTextColumns + 3 * kValueColumns;

constexpr const char* kKeyHelp[] = {
    "keys: 0 1 2 fan 0 Off/Slow/High   7 8 9 fan 1 Off/Slow/High",
    "      f Celsius/Fahrenheit   d degree sign   l load   q quit   Ctrl-Z suspend",
};

constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kRed = "\x1b[1;31m";
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kReset = "\x1b[0m";

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string padded(const std::string& text, size_t columns)
{
    const size_t width = displayWidth(text);
    return text + std::string(width < columns ? columns - width : 1, ' ');
}

std::string colored(const std::string& text, const char* color, bool useColor)
{
    return useColor && color ? color + text + kReset : text;
}

const char* levelColor(ValueLevel level)
{
    switch (level) {
    case ValueLevel::Warning:
        return kYellow;
    case ValueLevel::Critical:
        return kRed;
    default:
        return nullptr;
    }
}

std::string rowLine(const PanelRow& row, bool useColor)
{
    std::string line = "  " + padded(row.label, kLabelColumns);
    if (displayWidth(row.text) >= kTextColumns) // an error text takes the rest of the row
        return line + row.text;
    line += padded(row.text, kTextColumns);
    if (row.value.empty())
        return line;
    // Without colour the level is a mark after the value.
    const std::string value = useColor || row.level == ValueLevel::Normal
                                  ? row.value
                                  : row.value + (row.level == ValueLevel::Critical ? " !!" : " !");
    const size_t valueWidth = displayWidth(value);
    line += colored(value, levelColor(row.level), useColor) +
            std::string(valueWidth < kValueColumns ? kValueColumns - valueWidth : 1, ' ');
    line += padded(row.minimum, kValueColumns) + padded(row.maximum, kValueColumns) + row.trend;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

} // namespace

size_t displayWidth(const std::string& text)
{
    size_t columns = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\x1b') {
            while (at + 1 < text.size() &&
                   !(text[at + 1] >= '@' && text[at + 1] <= '~' && text[at + 1] != '['))
                ++at;
            ++at; // the final letter
            continue;
        }
        if (!isContinuationByte(text[at]))
            ++columns;
    }
    return columns;
}

std::string fitToWidth(const std::string& text, size_t width)
{
    std::string out;
    size_t columns = 0;
    bool colored = false;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\x1b') {
            size_t end = at + 1;
            while (end < text.size() && !(text[end] >= '@' && text[end] <= '~' && text[end] != '['))
                ++end;
            out.append(text, at, end - at + 1);
            colored = true;
            at = end;
            continue;
        }
        if (!isContinuationByte(text[at]) && columns++ == width)
            return colored ? out + kReset : out;
        out += text[at];
    }
    return out;
}

std::vector<std::string> wrapAtWords(const std::string& text, size_t width)
{
    // A text that fits is shown as it is, its blanks too (a product name
    // may hold two in a row); a longer one breaks at single blanks, each
    // part keeping the blanks inside it.
    if (displayWidth(text) <= width)
        return {text};
    const std::string indent = "  ";
    std::vector<std::string> lines;
    std::string line;
    bool first = true;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        const std::string joined = first ? word : line + " " + word;
        if (first || displayWidth(joined) <= width) {
            line = joined;
            first = false;
            continue;
        }
        lines.push_back(fitToWidth(line, width));
        line = indent + word;
    }
    lines.push_back(fitToWidth(line, width));
    return lines;
}

std::string formatPanelFrame(const PanelFrame& frame)
{
    // The header, the count and the message are prose: broken between
    // words. The table's lines are cut at the width.
    std::vector<std::string> lines;
    auto prose = [&lines, &frame](const std::string& text) {
        for (std::string& line : wrapAtWords(text, frame.width))
            lines.push_back(std::move(line));
    };
    const bool ok = frame.status == "ok";
    prose("Gaugelet on " + (frame.model.empty() ? "an unknown notebook" : frame.model) +
          (frame.driverVersion.empty() ? ", no zephr driver"
                                       : ", zephr driver " + frame.driverVersion));
    const char* statusColor = ok                                         ? kGreen
                              : frame.statusLevel == ValueLevel::Warning ? kYellow
                                                                         : kRed;
    prose("status: " + colored(frame.status, statusColor, frame.color));
    if (!frame.profile.empty())
        prose(frame.profile);
    if (!frame.limits.empty())
        prose(frame.limits);
    lines.push_back("");
    std::string head = "  " + padded("reading", kLabelColumns) + padded("text", kTextColumns) +
                       padded("value", kValueColumns) + padded("min", kValueColumns) +
                       padded("max", kValueColumns);
    if (frame.width > kTrendColumnAt + 4)
        head += "trend";
    while (!head.empty() && head.back() == ' ')
        head.pop_back();
    lines.push_back(head);
    for (const PanelRow& row : frame.rows)
        lines.push_back(rowLine(row, frame.color));
    lines.push_back("");
    prose(frame.requests);
    if (frame.interactive) {
        lines.insert(lines.end(), std::begin(kKeyHelp), std::end(kKeyHelp));
        if (!frame.message.empty())
            prose(frame.message);
    }
    std::ostringstream out;
    for (const std::string& line : lines)
        out << fitToWidth(line, frame.width) << "\n";
    return out.str();
}

} // namespace gaugehost
