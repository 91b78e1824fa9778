// SPDX-License-Identifier: MIT
// script_words.cpp
//
// Splitting script lines into words and reading their numbers exactly (a
// fractional second is counted in 100 ns ticks without rounding).
#include "tools/gaugehost/script/script_words.h"

#include <charconv>
#include <limits>
#include <stdexcept>

namespace gaugehost {

namespace {

bool isSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted part starting after its opening quote; leaves `at` after
// the closing quote.
void readQuoted(std::string_view line, size_t& at, std::string& word)
{
    while (at < line.size()) {
        char c = line[at++];
        if (c == '"')
            return;
        if (c != '\\') {
            word += c;
            continue;
        }
        if (at >= line.size())
            break;
        char escaped = line[at++];
        if (escaped == '"' || escaped == '\\') {
            word += escaped;
        } else if (escaped == 'x' && at + 1 < line.size() && hexDigit(line[at]) >= 0 &&
                   hexDigit(line[at + 1]) >= 0) {
            word += static_cast<char>(hexDigit(line[at]) * 16 + hexDigit(line[at + 1]));
            at += 2;
        } else {
            throw std::runtime_error(std::string("unknown escape \\") + escaped +
                                     " in a quoted text (\\\", \\\\ or \\xHH)");
        }
    }
    throw std::runtime_error("a quoted text is not closed");
}

constexpr int kDecimalsPerTick = 7; // 10^7 ticks per second

} // namespace

std::vector<std::string> splitScriptWords(std::string_view line)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (true) {
        while (at < line.size() && isSeparator(line[at]))
            ++at;
        if (at >= line.size() || line[at] == '#')
            return words;
        std::string word;
        while (at < line.size() && !isSeparator(line[at])) {
            char c = line[at++];
            if (c == '"')
                readQuoted(line, at, word);
            else
                word += c;
        }
        words.push_back(std::move(word));
    }
}

int64_t parseSeconds(const std::string& text)
{
    const std::string problem = "'" + text + "' is not a number of seconds (such as 5 or 4.9)";
    size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.empty() || (dot != std::string::npos && fraction.empty()))
        throw std::runtime_error(problem);
    if (fraction.size() > kDecimalsPerTick)
        throw std::runtime_error("'" + text + "' is finer than the clock's 100 ns");
    for (char c : whole + fraction)
        if (c < '0' || c > '9')
            throw std::runtime_error(problem);

    constexpr int64_t kMaxSeconds = std::numeric_limits<int64_t>::max() / 10'000'000 - 1;
    int64_t seconds = 0;
    auto [end, error] = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    if (error != std::errc() || seconds > kMaxSeconds)
        throw std::runtime_error("'" + text + "' seconds is more than the clock can count");
    fraction.append(kDecimalsPerTick - fraction.size(), '0');
    return seconds * 10'000'000 + std::stoll(fraction);
}

unsigned parseUnsigned(const std::string& text, const char* what)
{
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw std::runtime_error("'" + text + "' is not a valid " + what +
                                 " (a decimal number from 0 to 4294967295)");
    return value;
}

} // namespace gaugehost
