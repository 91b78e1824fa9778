// SPDX-License-Identifier: MIT
// parameter_list.cpp
//
// Splitting init's and getparam's texts at their separators.
#include "tools/gaugehost/plugin_host/parameter_list.h"

namespace gaugehost {

namespace {

// The pieces between '|' separators; a separator at the very end closes
// the last piece rather than opening an empty one.
std::vector<std::string> splitAtBars(std::string_view text)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t bar = text.find('|', start);
        if (bar == std::string_view::npos)
            bar = text.size();
        pieces.emplace_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return pieces;
}

} // namespace

std::vector<std::string> splitReaderList(std::string_view list)
{
    return splitAtBars(list);
}

std::vector<Parameter> splitParameterList(std::string_view list)
{
    std::vector<Parameter> parameters;
    for (const std::string& entry : splitAtBars(list)) {
        size_t equals = entry.find('=');
        if (equals == std::string::npos)
            parameters.push_back({entry, ""});
        else
            parameters.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
    }
    return parameters;
}

} // namespace gaugehost
