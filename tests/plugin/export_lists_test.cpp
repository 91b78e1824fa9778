// SPDX-License-Identifier: MIT
// export_lists_test.cpp
//
// Gaugelet.def (the Windows export table) and Gaugelet_host.map (the host
// library's) name the same exports, each once. That Gaugelet.def names the
// fourteen names of the host application is checked with the other artefact
// tests (tests/artifacts/plugin_image_test.cpp).
#include "artifacts/module_definition.h"
#include "export_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

const std::string kDefinition = std::string(ZEPHR_SOURCE_DIR) + "/plugin/Gaugelet.def";
const std::string kVersionScript = std::string(ZEPHR_SOURCE_DIR) + "/plugin/Gaugelet_host.map";

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ExportLists, BothFilesExportTheSameNames)
{
    // Sorted lists, not sets: a name written twice in either file shows.
    EXPECT_EQ(sorted(artifacts::ReadModuleDefinition(kDefinition).exports),
              sorted(plugin_test::readVersionScript(kVersionScript)));
}

TEST(ExportLists, TheSixHostFunctionsAreExported)
{
    const auto exports = artifacts::ReadModuleDefinition(kDefinition).exports;
    std::set<std::string> exported(exports.begin(), exports.end());
    for (const char* name : {"init", "getparam", "dllstartup", "dllshutdown", "dlltype", "getinfo"})
        EXPECT_TRUE(exported.count(name)) << name;
}

} // namespace
