// SPDX-License-Identifier: MIT
// figures.cpp
//
// The figures' ratios, the table a reader sees, and the JSON file.
#include "bench/figures.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace bench {

std::optional<double> Figure::ratio() const
{
    if (!floor)
        return std::nullopt;
    if (*floor == 0)
        return value == 0 ? std::optional<double>(1.0) : std::nullopt;
    return value / *floor;
}

std::optional<bool> Figure::met() const
{
    if (!goal)
        return std::nullopt;
    auto r = ratio();
    if (!r)
        return false; // a value above a floor of 0
    return *r <= *goal;
}

namespace {

std::string firstLineWith(const char* file, const std::string& key)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "";
}

std::string numberText(double value, const std::string& unit)
{
    std::ostringstream text;
    if (unit == "count" || unit == "bytes")
        text << std::fixed << std::setprecision(0) << value;
    else
        text << std::fixed << std::setprecision(value < 10 ? 2 : value < 1000 ? 1 : 0) << value;
    return text.str() + (unit == "count" ? "" : " " + unit);
}

} // namespace

MachineFacts DescribeMachine()
{
    MachineFacts facts;
    facts.processor = firstLineWith("/proc/cpuinfo", "model name");
    facts.cores = std::thread::hardware_concurrency();
    std::ifstream load("/proc/loadavg");
    std::getline(load, facts.loadAverage);
    std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    facts.date = date;
    return facts;
}

void PrintTable(std::ostream& out, const std::vector<Figure>& figures)
{
    const char* header[] = {"figure", "value", "floor", "ratio", "goal"};
    std::vector<std::vector<std::string>> rows;
    for (const Figure& f : figures) {
        std::vector<std::string> row;
        row.push_back(f.group + ": " + f.name);
        row.push_back(f.unit.empty() ? "" : numberText(f.value, f.unit));
        row.push_back(f.floor ? numberText(*f.floor, f.unit) + " (" + f.floorName + ")" : "");
        std::ostringstream ratio;
        if (auto r = f.ratio())
            ratio << std::fixed << std::setprecision(2) << *r << "x";
        row.push_back(ratio.str());
        std::ostringstream goal;
        if (f.goal) {
            goal << "<= " << std::fixed << std::setprecision(1) << *f.goal << "x "
                 << (*f.met() ? "met" : "MISSED");
        }
        row.push_back(goal.str());
        if (!f.note.empty())
            row.back() += (row.back().empty() ? "" : "  ") + f.note;
        rows.push_back(row);
    }
    std::vector<size_t> widths(5, 0);
    for (size_t c = 0; c < 5; ++c)
        widths[c] = std::string(header[c]).size();
    for (const auto& row : rows)
        for (size_t c = 0; c < 4; ++c)
            widths[c] = std::max(widths[c], row[c].size());
    auto put = [&](const std::vector<std::string>& row) {
        for (size_t c = 0; c < 5; ++c) {
            out << row[c];
            if (c < 4)
                out << std::string(widths[c] - row[c].size() + 2, ' ');
        }
        out << "\n";
    };
    put({header, header + 5});
    for (const auto& row : rows)
        put(row);
}

void WriteJson(const std::string& path, const MachineFacts& machine,
               const std::vector<Figure>& figures)
{
    nlohmann::json doc;
    doc["machine"] = {{"processor", machine.processor},
                      {"cores", machine.cores},
                      {"load_average", machine.loadAverage},
                      {"date", machine.date}};
    doc["figures"] = nlohmann::json::array();
    for (const Figure& f : figures) {
        nlohmann::json row = {
            {"group", f.group}, {"name", f.name}, {"unit", f.unit}, {"value", f.value}};
        if (f.floor) {
            row["floor"] = *f.floor;
            row["floor_name"] = f.floorName;
        }
        if (auto r = f.ratio())
            row["ratio"] = *r;
        if (f.goal) {
            row["goal"] = *f.goal;
            row["met"] = *f.met();
        }
        if (!f.note.empty())
            row["note"] = f.note;
        doc["figures"].push_back(row);
    }
    std::ofstream out(path);
    out << doc.dump(2) << "\n";
    if (!out)
        throw std::runtime_error(path + ": cannot write the results");
}

} // namespace bench
