// SPDX-License-Identifier: MIT
// export_lists.h
//
// The host library's export list as its version script states it: the
// names under global: in Gaugelet_host.map. Gaugelet.def is read by
// artifacts/module_definition.h.
#pragma once

#include <string>
#include <vector>

namespace plugin_test {

// Throws std::runtime_error naming the file when it cannot be read.
std::vector<std::string> readVersionScript(const std::string& path);

} // namespace plugin_test
