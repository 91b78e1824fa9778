// SPDX-License-Identifier: MIT
// reader_binding.cpp
//
// Finding a reader in init's list and getparam's parameters, and calling it
// with its parameter texts completed by the defaults.
#include "tools/gaugehost/plugin_host/reader_binding.h"

#include <algorithm>
#include <stdexcept>

namespace gaugehost {

ReaderBinding bindReader(const PluginLibrary& library, const std::string& name)
{
    const std::string list = library.init();
    const std::vector<std::string> names = splitReaderList(list);
    if (std::find(names.begin(), names.end(), name) == names.end())
        throw std::runtime_error("'" + name + "' is not a reader of the plug-in (init lists " +
                                 list + ")");
    ReaderBinding reader;
    reader.name = name;
    reader.parameters = splitParameterList(library.getparam(name));
    reader.address = library.findReader(name);
    return reader;
}

std::vector<std::string> completeParameters(const ReaderBinding& reader,
                                            const std::vector<std::string>& given)
{
    if (given.size() > reader.parameters.size())
        throw std::runtime_error(reader.name + " takes " +
                                 std::to_string(reader.parameters.size()) + " parameter(s), " +
                                 std::to_string(given.size()) + " were given");
    std::vector<std::string> texts = given;
    for (size_t i = given.size(); i < reader.parameters.size(); ++i)
        texts.push_back(reader.parameters[i].defaultValue);
    return texts;
}

std::string callBoundReader(const PluginLibrary& library, const ReaderBinding& reader,
                            void* instance, const std::vector<std::string>& given)
{
    std::vector<std::string> texts = completeParameters(reader, given);
    if (!reader.address)
        throw std::runtime_error("plug-in " + library.path() + " lists " + reader.name +
                                 " but does not export it");
    return library.callReader(reader.name, reader.address, instance, texts);
}

} // namespace gaugehost
