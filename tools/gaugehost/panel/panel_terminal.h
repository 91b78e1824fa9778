// SPDX-License-Identifier: MIT
// panel_terminal.h
//
// The terminal the live panel draws on: whether there is one, single key
// presses without Enter, its width, whether it takes colour, and redrawing
// from the top. A raw-mode terminal is given back as it was when the panel
// ends (also after Ctrl-C) and while the panel is suspended (Ctrl-Z), and
// taken again when it continues.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace gaugehost {

// A frame as a terminal that takes escape sequences redraws it: home, each
// line cleared to its end, then the rest of the screen, with no blank flash
// between frames.
inline std::string redrawSequence(const std::string& frame)
{
    std::string screen = "\x1b[H";
    for (char c : frame) {
        if (c == '\n')
            screen += "\x1b[K";
        screen += c;
    }
    screen += "\x1b[J";
    return screen;
}

class PanelTerminal {
  public:
    // Takes the terminal into single-key mode when standard input and output
    // are a terminal; interactive() tells whether they are.
    PanelTerminal();
    ~PanelTerminal();
    PanelTerminal(const PanelTerminal&) = delete;
    PanelTerminal& operator=(const PanelTerminal&) = delete;

    bool interactive() const
    {
        return interactive_;
    }
    // The terminal understands colour sequences.
    bool colors() const
    {
        return colors_;
    }
    // The next key pressed within the time, if any.
    std::optional<char> readKey(int milliseconds);
    // Columns of the terminal (80 when it cannot tell).
    size_t columns() const;
    // True once after the size changed or the panel came back from a
    // suspension: the whole frame wants drawing again.
    bool needsRedraw();
    // Draws a frame over the previous one.
    void show(const std::string& frame);

  private:
    bool interactive_ = false;
    bool colors_ = false;
};

} // namespace gaugehost
