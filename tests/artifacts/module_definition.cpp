// SPDX-License-Identifier: MIT
// module_definition.cpp
//
// Reads the LIBRARY name and the EXPORTS section of a .def file.
#include "artifacts/module_definition.h"

#include "plugin/vocabulary.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace artifacts {
namespace {

std::string FirstWord(const std::string& text)
{
    std::istringstream stream(text);
    std::string word;
    stream >> word;
    return word;
}

} // namespace

ModuleDefinition ParseModuleDefinition(const std::string& text)
{
    ModuleDefinition definition;
    bool inExports = false;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        std::string code = line.substr(0, line.find(';'));
        std::string keyword = FirstWord(code);
        if (keyword.empty()) {
            continue;
        }
        if (keyword == "LIBRARY") {
            definition.library = FirstWord(code.substr(code.find(keyword) + keyword.size()));
            inExports = false;
        } else if (keyword == "EXPORTS") {
            inExports = true;
        } else if (keyword == "DESCRIPTION" || keyword == "SECTIONS" || keyword == "HEAPSIZE" ||
                   keyword == "STACKSIZE" || keyword == "VERSION" || keyword == "IMPORTS") {
            inExports = false;
        } else if (inExports) {
            // "name", "name @ordinal", "name=internal": the exported name.
            definition.exports.push_back(keyword.substr(0, keyword.find('=')));
        }
    }
    return definition;
}

ModuleDefinition ReadModuleDefinition(const std::filesystem::path& path)
{
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read module definition " + path.string());
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseModuleDefinition(text.str());
}

const std::vector<std::string>& GaugeletExportNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all(std::begin(GaugeletHostFunctions),
                                     std::end(GaugeletHostFunctions));
        for (const GaugeletReader& reader : GaugeletReaders)
            all.push_back(reader.Export);
        return all;
    }();
    return names;
}

} // namespace artifacts
