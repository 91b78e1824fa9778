// export_lists.h
//
// The two export lists of Gaugelet as their files state them: the names
// under EXPORTS in Gaugelet.def and under global: in Gaugelet_host.map, and
// the readers each file announces on "reader:" comment lines until the
// library defines them.
#pragma once

#include <string>
#include <vector>

namespace plugin_test {

struct ExportList {
    std::vector<std::string> exported;
    std::vector<std::string> announced;
};

// Both throw std::runtime_error naming the file when it cannot be read.
ExportList readModuleDefinition(const std::string& path);
ExportList readVersionScript(const std::string& path);

// The fourteen names the host application calls, host functions first.
const std::vector<std::string>& gaugeletNames();

} // namespace plugin_test
