// export_lists.cpp
//
// Reading Gaugelet.def and Gaugelet_host.map for the export-list tests.
#include "export_lists.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace plugin_test {

namespace {

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> wordsOf(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

// "reader: Name" anywhere in a comment.
void noteAnnounced(const std::string& comment, ExportList& list)
{
    std::vector<std::string> words = wordsOf(comment);
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == "reader:")
            list.announced.push_back(words[i + 1]);
}

} // namespace

ExportList readModuleDefinition(const std::string& path)
{
    ExportList list;
    bool inExports = false;
    for (const std::string& line : linesOf(path)) {
        size_t semicolon = line.find(';');
        if (semicolon != std::string::npos)
            noteAnnounced(line.substr(semicolon + 1), list);
        std::vector<std::string> words = wordsOf(line.substr(0, semicolon));
        if (words.empty())
            continue;
        if (words[0] == "EXPORTS")
            inExports = true;
        else if (words[0] == "LIBRARY")
            inExports = false;
        else if (inExports)
            list.exported.push_back(words[0]);
    }
    return list;
}

ExportList readVersionScript(const std::string& path)
{
    ExportList list;
    bool inComment = false;
    bool inGlobal = false;
    for (const std::string& line : linesOf(path)) {
        std::string code;
        std::string comment;
        for (size_t i = 0; i < line.size(); ++i) {
            if (!inComment && line.compare(i, 2, "/*") == 0) {
                inComment = true;
                ++i;
            } else if (inComment && line.compare(i, 2, "*/") == 0) {
                inComment = false;
                ++i;
            } else {
                (inComment ? comment : code) += line[i];
            }
        }
        noteAnnounced(comment, list);
        for (std::string word : wordsOf(code)) {
            if (word == "global:")
                inGlobal = true;
            else if (word == "local:")
                inGlobal = false;
            else if (inGlobal && word.back() == ';')
                list.exported.push_back(word.substr(0, word.size() - 1));
        }
    }
    return list;
}

const std::vector<std::string>& gaugeletNames()
{
    static const std::vector<std::string> names = {
        "init",       "getparam",   "dllstartup",   "dllshutdown", "dlltype",
        "getinfo",    "GetCPUTemp", "GetGPUTemp",   "GetDIMMTemp", "GetOTHERTemp",
        "GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed", "GetFAN2Speed"};
    return names;
}

} // namespace plugin_test
