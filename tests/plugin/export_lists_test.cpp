// export_lists_test.cpp
//
// Gaugelet.def (the Windows export table) and Gaugelet_host.map (the host
// library's) name the same exports, and together with the readers they
// announce they account for the fourteen names of the host application.
#include "export_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using plugin_test::ExportList;

const std::string kDefinition = std::string(ZEPHR_SOURCE_DIR) + "/plugin/Gaugelet.def";
const std::string kVersionScript = std::string(ZEPHR_SOURCE_DIR) + "/plugin/Gaugelet_host.map";

std::set<std::string> setOf(const std::vector<std::string>& names)
{
    return {names.begin(), names.end()};
}

TEST(ExportLists, BothFilesExportTheSameNames)
{
    ExportList definition = plugin_test::readModuleDefinition(kDefinition);
    ExportList script = plugin_test::readVersionScript(kVersionScript);
    EXPECT_EQ(setOf(definition.exported), setOf(script.exported));
    EXPECT_EQ(setOf(definition.announced), setOf(script.announced));
}

TEST(ExportLists, EachFileNamesEveryHostNameExactlyOnce)
{
    for (const ExportList& list : {plugin_test::readModuleDefinition(kDefinition),
                                   plugin_test::readVersionScript(kVersionScript)}) {
        std::vector<std::string> all = list.exported;
        all.insert(all.end(), list.announced.begin(), list.announced.end());
        std::sort(all.begin(), all.end());
        std::vector<std::string> expected = plugin_test::gaugeletNames();
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(all, expected);
    }
}

TEST(ExportLists, TheSixHostFunctionsAreExported)
{
    std::set<std::string> exported = setOf(plugin_test::readModuleDefinition(kDefinition).exported);
    for (const char* name : {"init", "getparam", "dllstartup", "dllshutdown", "dlltype", "getinfo"})
        EXPECT_TRUE(exported.count(name)) << name;
}

} // namespace
