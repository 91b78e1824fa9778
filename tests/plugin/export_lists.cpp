// SPDX-License-Identifier: MIT
// export_lists.cpp
//
// Reading Gaugelet_host.map for the export-list tests.
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

} // namespace

std::vector<std::string> readVersionScript(const std::string& path)
{
    std::vector<std::string> exported;
    bool inComment = false;
    bool inGlobal = false;
    for (const std::string& line : linesOf(path)) {
        std::string code;
        for (size_t i = 0; i < line.size(); ++i) {
            if (!inComment && line.compare(i, 2, "/*") == 0) {
                inComment = true;
                ++i;
            } else if (inComment && line.compare(i, 2, "*/") == 0) {
                inComment = false;
                ++i;
            } else if (!inComment) {
                code += line[i];
            }
        }
        for (std::string word : wordsOf(code)) {
            if (word == "global:")
                inGlobal = true;
            else if (word == "local:")
                inGlobal = false;
            else if (inGlobal && word.back() == ';')
                exported.push_back(word.substr(0, word.size() - 1));
        }
    }
    return exported;
}

} // namespace plugin_test
