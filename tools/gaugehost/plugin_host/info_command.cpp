// SPDX-License-Identifier: MIT
// info_command.cpp
//
// gaugehost info: the reader list from init, each reader's parameters from
// getparam (the text as returned, then each label and default), whether the
// library exports the reader, dlltype, and getinfo 0 to 6. Texts are shown
// in double quotes, converted to UTF-8, with '"', '\' and control bytes
// escaped.
#include "tools/gaugehost/plugin_host/host_commands.h"

#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/plugin_host/parameter_list.h"

namespace gaugehost {

namespace {

constexpr unsigned kLastInfoIndex = 6;

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : cp1252ToDisplay(text)) { // backslashes come doubled
        if (c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void printReader(const PluginLibrary& library, const std::string& name, std::ostream& out)
{
    const std::string list = library.getparam(name);
    out << "reader " << name << "\n";
    out << "  getparam: " << quoted(list) << "\n";
    int number = 1;
    for (const Parameter& parameter : splitParameterList(list))
        out << "  parameter " << number++ << ": " << quoted(parameter.label) << ", default "
            << quoted(parameter.defaultValue) << "\n";
    out << "  exported: " << (library.findReader(name) ? "yes" : "no") << "\n";
}

} // namespace

void runInfo(const PluginLibrary& library, std::ostream& out)
{
    const std::string list = library.init();
    out << "init: " << quoted(list) << "\n";
    for (const std::string& name : splitReaderList(list))
        printReader(library, name, out);
    out << "dlltype: " << library.dlltype() << "\n";
    for (unsigned index = 0; index <= kLastInfoIndex; ++index)
        out << "getinfo " << index << ": " << quoted(library.getinfo(index)) << "\n";
}

} // namespace gaugehost
