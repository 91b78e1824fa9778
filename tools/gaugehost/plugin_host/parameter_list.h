// SPDX-License-Identifier: MIT
// parameter_list.h
//
// The plug-in's two list texts as the host reads them: init's reader names
// separated by '|', and getparam's "label=default|" entries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gaugehost {

struct Parameter {
    std::string label;
    std::string defaultValue;
};

// "A|B|C" -> {"A", "B", "C"}; an empty text gives no names.
std::vector<std::string> splitReaderList(std::string_view list);

// Each entry up to its '|' (the last one may lack it), split at its first
// '='; an entry without '=' is a label with the empty default.
std::vector<Parameter> splitParameterList(std::string_view list);

} // namespace gaugehost
