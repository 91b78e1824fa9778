// SPDX-License-Identifier: MIT
// call_command.cpp
//
// gaugehost call: one instance, one reader call with the given parameter
// texts (the rest take getparam's defaults), the text shown, the instance
// freed.
#include "tools/gaugehost/plugin_host/host_commands.h"

#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/plugin_host/reader_binding.h"

namespace gaugehost {

bool runCall(const PluginLibrary& library, const std::string& reader,
             const std::vector<std::string>& parameters, bool raw, std::ostream& out)
{
    const ReaderBinding binding = bindReader(library, reader);
    completeParameters(binding, parameters); // refuse extra texts before making an instance
    PluginInstance instance = library.startInstance();
    const std::string text = callBoundReader(library, binding, instance.handle(), parameters);
    if (raw)
        out << text;
    else
        out << cp1252ToDisplay(text) << "\n";
    out.flush();
    return text.rfind("ERROR:", 0) != 0;
}

} // namespace gaugehost
