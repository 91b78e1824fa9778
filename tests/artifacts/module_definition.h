// SPDX-License-Identifier: MIT
// module_definition.h
//
// The export list of a module-definition (.def) file: the names under
// EXPORTS. The one reader of Gaugelet.def for every suite that needs it.
#ifndef ZEPHR_TESTS_ARTIFACTS_MODULE_DEFINITION_H
#define ZEPHR_TESTS_ARTIFACTS_MODULE_DEFINITION_H

#include <filesystem>
#include <string>
#include <vector>

namespace artifacts {

struct ModuleDefinition {
    std::string library;              // LIBRARY name
    std::vector<std::string> exports; // names under EXPORTS, in file order
};

ModuleDefinition ParseModuleDefinition(const std::string& text);
// Throws std::runtime_error naming the file when it cannot be read.
ModuleDefinition ReadModuleDefinition(const std::filesystem::path& path);

// The fourteen names the host application calls, from the plug-in's
// vocabulary: the host functions and the readers.
const std::vector<std::string>& GaugeletExportNames();

} // namespace artifacts

#endif // ZEPHR_TESTS_ARTIFACTS_MODULE_DEFINITION_H
