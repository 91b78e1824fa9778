// SPDX-License-Identifier: MIT
// log_table.cpp
//
// Reading a log back: CSV fields with quotes, or flat JSON objects.
#include "tools/gaugehost/log_table.h"

#include <map>
#include <stdexcept>

namespace gaugehost {

namespace {

std::runtime_error lineError(const std::string& source, size_t line, const std::string& what)
{
    return std::runtime_error(source + ":" + std::to_string(line) + ": " + what);
}

std::vector<std::string> csvFields(const std::string& text, const std::string& source, size_t line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            if (c == '"' && at + 1 < text.size() && text[at + 1] == '"')
                fields.back() += text[++at];
            else if (c == '"')
                quoted = false;
            else
                fields.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    if (quoted)
        throw lineError(source, line, "a quoted field does not end");
    return fields;
}

std::string withoutLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

// A flat JSON object: its keys in order and their values as texts.
class JsonLine {
  public:
    JsonLine(const std::string& text, const std::string& source, size_t line)
        : text_(text), source_(source), line_(line)
    {
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> members()
    {
        std::vector<std::pair<std::string, std::optional<std::string>>> out;
        expect('{');
        if (peek() == '}')
            return ++at_, out;
        for (;;) {
            std::string key = string();
            expect(':');
            out.emplace_back(std::move(key), value());
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect('}');
            return out;
        }
    }

  private:
    char peek()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r'))
            ++at_;
        return at_ < text_.size() ? text_[at_] : '\0';
    }
    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected '") + c + "'");
        ++at_;
    }
    [[noreturn]] void fail(const std::string& what)
    {
        throw lineError(source_, line_, what + " at column " + std::to_string(at_ + 1));
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\' && at_ < text_.size()) {
                c = text_[at_++];
                if (c == 'u' && at_ + 4 <= text_.size()) {
                    out += char(std::stoi(text_.substr(at_, 4), nullptr, 16));
                    at_ += 4;
                    continue;
                }
                if (c == 'n')
                    c = '\n';
                else if (c == 't')
                    c = '\t';
            }
            out += c;
        }
        if (at_ >= text_.size())
            fail("a string does not end");
        ++at_;
        return out;
    }
    std::optional<std::string> value()
    {
        const char c = peek();
        if (c == '"')
            return string();
        const size_t start = at_;
        while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '}' && text_[at_] != ' ')
            ++at_;
        const std::string word = text_.substr(start, at_ - start);
        if (word == "null")
            return std::nullopt;
        if (word.empty() || word.find_first_not_of("-+.0123456789eE") != std::string::npos)
            fail("a value that is neither a string, a number nor null");
        return word;
    }

    const std::string& text_;
    const std::string& source_;
    size_t line_;
    size_t at_ = 0;
};

} // namespace

std::optional<size_t> LogTable::column(const std::string& name) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i] == name)
            return i;
    return std::nullopt;
}

LogTable readLogTable(std::istream& in, const std::string& source)
{
    LogTable table;
    std::string text;
    std::string header;
    size_t line = 0;
    bool json = false;
    auto skip = [&](const std::string& what) {
        table.skipped.push_back(source + ":" + std::to_string(line) + ": " + what);
    };
    while (std::getline(in, text)) {
        ++line;
        if (withoutLineEnd(text).empty())
            continue; // blanks only
        if (table.columns.empty() && table.records.empty())
            json = text[0] == '{';
        if (!json) {
            if (!table.columns.empty() && withoutLineEnd(text) == header)
                continue; // the header of a log appended to this one
            std::vector<std::string> fields;
            try {
                fields = csvFields(text, source, line);
            } catch (const std::runtime_error&) {
                if (table.columns.empty())
                    throw;
                skip("a record cut short in a quoted field, left out");
                continue;
            }
            if (table.columns.empty()) {
                table.columns = std::move(fields);
                header = withoutLineEnd(text);
                continue;
            }
            if (fields.size() < table.columns.size()) {
                skip("a record cut short (" + std::to_string(fields.size()) +
                     " fields where the header has " + std::to_string(table.columns.size()) +
                     "), left out");
                continue;
            }
            if (fields.size() != table.columns.size())
                throw lineError(source, line,
                                std::to_string(fields.size()) + " fields where the header has " +
                                    std::to_string(table.columns.size()));
            auto& record = table.records.emplace_back();
            for (std::string& field : fields)
                record.push_back(field.empty() ? std::nullopt
                                               : std::optional<std::string>(std::move(field)));
            continue;
        }
        if (withoutLineEnd(text).back() != '}') { // not empty: blank lines are passed over
            skip("a record cut short (no closing brace), left out");
            continue;
        }
        auto members = JsonLine(text, source, line).members();
        if (table.columns.empty())
            for (const auto& member : members)
                table.columns.push_back(member.first);
        auto& record = table.records.emplace_back(table.columns.size());
        for (auto& [key, value] : members)
            if (auto index = table.column(key))
                record[*index] = std::move(value);
    }
    if (table.columns.empty())
        throw std::runtime_error(source + ": no records (is it a log of gaugehost log?)");
    return table;
}

} // namespace gaugehost
