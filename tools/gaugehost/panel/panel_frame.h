// SPDX-License-Identifier: MIT
// panel_frame.h
//
// One frame of the live panel and its layout: a header (model, driver
// version, status; the model profile; the readers' period and the
// temperature limits), a row per reader (label, the reader's text as the host
// shows it, the value with its unit, minimum and maximum since the start, a
// trend of the recent refreshes), the request count, and when keys are read
// their help and the last key's message. Every line fits the terminal's
// width; colour only where the frame says the terminal takes it, and
// without colour a value at a limit is marked "!" (warn) or "!!" (critical).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace gaugehost {

enum class ValueLevel { Normal, Warning, Critical };

struct PanelRow {
    std::string label;   // "CPU temperature", or the reader's name for another reader
    std::string text;    // the reader's text as shown (UTF-8, control bytes escaped)
    std::string value;   // 52 °C, 3600 rpm, a fan state name; empty when the text has none
    std::string minimum; // since the start, empty when there is none
    std::string maximum;
    std::string trend; // a sparkline of the recent values
    ValueLevel level = ValueLevel::Normal;
};

struct PanelFrame {
    std::string model;         // "" when unknown
    std::string driverVersion; // "1.5"; "" when the device did not answer
    std::string status;        // "ok", or what is wrong
    // Its colour: green when "ok", yellow for a value at the warn limit, red
    // otherwise.
    ValueLevel statusLevel = ValueLevel::Critical;
    std::string profile; // the model profile line
    std::string limits;  // the period and limits line
    std::vector<PanelRow> rows;
    std::string requests;
    std::string message; // what the last key did, while it is fresh
    bool interactive = false;
    bool color = false;
    size_t width = 80;
};

std::string formatPanelFrame(const PanelFrame& frame);

// Display columns of a UTF-8 text (one per character; escape sequences of
// colour count none), and the text cut to at most that many columns.
size_t displayWidth(const std::string& text);
std::string fitToWidth(const std::string& text, size_t width);
// The text in lines of at most width columns, broken at blanks; the lines
// after the first are indented by two blanks. A word longer than a line is
// cut.
std::vector<std::string> wrapAtWords(const std::string& text, size_t width);

} // namespace gaugehost
