// SPDX-License-Identifier: MIT
// log_record.cpp
//
// Times, CSV fields and JSON values of the log's records.
#include "tools/gaugehost/log/log_record.h"

#include <cstdio>

namespace gaugehost {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + int64_t(dayOfEra) - 719468;
}

void civilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = int64_t(yearOfEra) + era * 400 + (month <= 2);
}

bool needsQuotes(const std::string& field)
{
    return field.find_first_of(",\"\r\n") != std::string::npos ||
           (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

std::string csvField(const std::string& field)
{
    if (!needsQuotes(field))
        return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string valueText(const LogField& field)
{
    if (field.text)
        return *field.text;
    return field.number ? std::to_string(*field.number) : "";
}

} // namespace

std::string isoTime(uint64_t fileTime)
{
    const int64_t seconds = int64_t(fileTime / kTicksPerSecond);
    const int64_t days = seconds / 86400 - kDaysFrom1601To1970;
    const int64_t inDay = seconds % 86400;
    int64_t year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), month, day, static_cast<long long>(inDay / 3600),
                  static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60));
    return text;
}

std::optional<double> isoTimeSeconds(const std::string& text)
{
    // Exactly the form isoTime writes: "YYYY-MM-DDTHH:MM:SSZ", nothing after.
    constexpr char kForm[] = "0000-00-00T00:00:00Z";
    if (text.size() != sizeof kForm - 1)
        return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i)
        if (kForm[i] == '0' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != kForm[i])
            return std::nullopt;
    auto field = [&](size_t at, size_t digits) { return std::stoi(text.substr(at, digits)); };
    const int year = field(0, 4), month = field(5, 2), day = field(8, 2);
    const int hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
    constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (month < 1 || month > 12 || day < 1 || day > kDaysIn[month - 1] ||
        (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const int64_t days = daysFromCivil(year, unsigned(month), unsigned(day)) + kDaysFrom1601To1970;
    return double(days) * 86400 + hour * 3600 + minute * 60 + second;
}

std::string csvHeader(const std::vector<LogField>& fields)
{
    std::string line;
    for (const LogField& field : fields) {
        if (&field != &fields.front())
            line += ',';
        line += csvField(field.name);
    }
    return line + "\n";
}

std::string csvRecord(const std::vector<LogField>& fields)
{
    std::string line;
    for (const LogField& field : fields) {
        if (&field != &fields.front())
            line += ',';
        line += csvField(valueText(field));
    }
    return line + "\n";
}

std::string jsonRecord(const std::vector<LogField>& fields)
{
    std::string line = "{";
    for (const LogField& field : fields) {
        if (&field != &fields.front())
            line += ", ";
        line += jsonString(field.name);
        line += ": ";
        if (field.text)
            line += jsonString(*field.text);
        else
            line += field.number ? std::to_string(*field.number) : "null";
    }
    return line + "}\n";
}

RecordSchedule::Next RecordSchedule::next(uint64_t now)
{
    ++index_;
    uint64_t due = first_ + index_ * period_;
    uint64_t missed = 0;
    if (period_ > 0 && now >= due + period_) {
        missed = (now - due) / period_;
        index_ += missed;
        due += missed * period_;
    }
    return {due, missed};
}

} // namespace gaugehost
