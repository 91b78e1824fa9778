// SPDX-License-Identifier: MIT
// log_table.cpp
//
// Reading a log back: CSV fields with quotes, or flat JSON objects.
#include "tools/gaugehost/log/log_table.h"

#include "common/bounded_file.h"

#include <sstream>
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
            const char c = text_[at_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size())
                break;
            const char escape = text_[at_++];
            switch (escape) {
            case '"':
            case '\\':
            case '/':
                out += escape;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                appendUtf8(out, codePoint());
                break;
            default:
                --at_;
                fail("an unknown escape in a string");
            }
        }
        if (at_ >= text_.size())
            fail("a string does not end");
        ++at_;
        return out;
    }
    // The four hex digits after \u; a pair of surrogates as one code point,
    // a surrogate alone as U+FFFD.
    unsigned codePoint()
    {
        const unsigned unit = hexUnit();
        if (unit < 0xD800 || unit > 0xDFFF)
            return unit;
        if (unit <= 0xDBFF && text_.compare(at_, 2, "\\u") == 0) {
            const size_t mark = at_;
            at_ += 2;
            const unsigned low = hexUnit();
            if (low >= 0xDC00 && low <= 0xDFFF)
                return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            at_ = mark;
        }
        return 0xFFFD;
    }
    unsigned hexUnit()
    {
        unsigned unit = 0;
        for (int digit = 0; digit < 4; ++digit, ++at_) {
            const char c = at_ < text_.size() ? text_[at_] : '\0';
            const int value = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (value < 0)
                fail("a Unicode escape without four hex digits");
            unit = unit * 16 + unsigned(value);
        }
        return unit;
    }
    static void appendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
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

LogReader::LogReader(std::istream& in, std::string source,
                     std::function<void(const std::string&)> skipped)
    : in_(in), source_(std::move(source)), skipped_(std::move(skipped))
{
}

std::optional<size_t> LogReader::column(const std::string& name) const
{
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i] == name)
            return i;
    return std::nullopt;
}

void LogReader::skip(const std::string& what)
{
    skipped_(source_ + ":" + std::to_string(line_) + ": " + what);
}

// The next line without its LF, or false at the end. The bytes are taken
// from the stream's buffer one by one, so a line is never held past the
// limit.
bool LogReader::readLine(std::string& text)
{
    ++line_;
    try {
        return bounded::readLine(in_, text, kMaxLogLine);
    } catch (const bounded::LineTooLong& tooLong) {
        throw lineError(source_, line_,
                        std::string(tooLong.what()) + " (not a log of gaugehost log?)");
    }
}

bool LogReader::next()
{
    std::string text;
    while (readLine(text)) {
        if (withoutLineEnd(text).empty())
            continue; // blanks only
        if (!started_) {
            started_ = true;
            json_ = text[0] == '{';
        }
        if (!json_) {
            if (!columns_.empty() && withoutLineEnd(text) == header_)
                continue; // the header of a log appended to this one
            std::vector<std::string> fields;
            try {
                fields = csvFields(text, source_, line_);
            } catch (const std::runtime_error&) {
                if (columns_.empty())
                    throw;
                skip("a record cut short in a quoted field, left out");
                continue;
            }
            if (columns_.empty()) {
                columns_ = std::move(fields);
                header_ = withoutLineEnd(text);
                continue;
            }
            if (fields.size() != columns_.size()) {
                const std::string counts = std::to_string(fields.size()) +
                                           " fields where the header has " +
                                           std::to_string(columns_.size());
                skip(fields.size() < columns_.size()
                         ? "a record cut short (" + counts + "), left out"
                         : "a record of " + counts + ", left out");
                continue;
            }
            fields_.clear();
            for (std::string& field : fields)
                fields_.push_back(field.empty() ? std::nullopt
                                                : std::optional<std::string>(std::move(field)));
            return true;
        }
        if (withoutLineEnd(text).back() != '}') { // not empty: blank lines are passed over
            skip("a record cut short (no closing brace), left out");
            continue;
        }
        std::vector<std::pair<std::string, std::optional<std::string>>> members;
        try {
            members = JsonLine(text, source_, line_).members();
        } catch (const std::runtime_error& error) {
            skipped_(std::string(error.what()) + ", left out");
            continue;
        }
        if (columns_.empty())
            for (const auto& member : members)
                columns_.push_back(member.first);
        fields_.assign(columns_.size(), std::nullopt);
        for (auto& [key, value] : members)
            if (auto index = column(key))
                fields_[*index] = std::move(value);
        return true;
    }
    return false;
}

std::vector<std::string> logColumns(const std::string& firstLine, const std::string& source)
{
    std::istringstream in(firstLine);
    std::string skipped;
    LogReader reader(in, source, [&](const std::string& what) { skipped = what; });
    reader.next();
    if (reader.columns().empty())
        throw std::runtime_error(skipped.empty() ? source + ": no column names" : skipped);
    return reader.columns();
}

} // namespace gaugehost
