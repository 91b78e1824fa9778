// SPDX-License-Identifier: MIT
// json_document.h
//
// Parsing a JSON document a tool was given (the fan-control configuration,
// a machine file) so that a fault is told with the key it was met in: a
// number too large for a double (1e400) fails inside the parser, before
// the document exists to be checked key by key. Host and Windows builds;
// nlohmann/json only.
#pragma once

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

namespace json_document {

// A document that does not parse; where() is the key being read when the
// parser stopped ("fans[1].off.up"; empty outside any key), what() the
// parser's own account of the fault.
class ParseError : public std::runtime_error {
  public:
    ParseError(std::string where, const std::string& what)
        : std::runtime_error(what), where_(std::move(where))
    {
    }
    const std::string& where() const
    {
        return where_;
    }

  private:
    std::string where_;
};

// The parser's message without the library's "[json.exception.parse_error.101] "
// prefix.
inline std::string withoutPrefix(std::string what)
{
    if (const auto end = what.find("] ");
        what.starts_with("[json.exception") && end != std::string::npos)
        what.erase(0, end + 2);
    return what;
}

inline nlohmann::json parse(const std::string& text, bool ignoreComments = false)
{
    using nlohmann::json;
    struct Level {
        bool array = false;
        std::string key;  // in an object: the key being read
        size_t index = 0; // in an array: the element being read
    };
    std::vector<Level> levels;
    auto elementDone = [&levels] {
        if (!levels.empty() && levels.back().array)
            ++levels.back().index;
    };
    json::parser_callback_t track = [&](int, json::parse_event_t event, json& parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            levels.push_back({event == json::parse_event_t::array_start, "", 0});
            break;
        case json::parse_event_t::key:
            levels.back().key = parsed.get<std::string>();
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            levels.pop_back();
            elementDone();
            break;
        case json::parse_event_t::value:
            elementDone();
            break;
        }
        return true;
    };
    try {
        return json::parse(text, track, true, ignoreComments);
    } catch (const json::exception& error) {
        std::string where;
        for (const Level& level : levels) {
            if (level.array)
                where += "[" + std::to_string(level.index) + "]";
            else if (!level.key.empty())
                where += (where.empty() ? "" : ".") + level.key;
        }
        throw ParseError(where, withoutPrefix(error.what()));
    }
}

} // namespace json_document
