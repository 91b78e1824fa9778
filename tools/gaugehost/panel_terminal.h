// panel_terminal.h
//
// The terminal the live panel draws on: whether there is one, single key
// presses without Enter, and redrawing from the top. A raw-mode terminal is
// given back as it was when the panel ends, also after Ctrl-C.
#pragma once

#include <optional>

namespace gaugehost {

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
    // The next key pressed within the time, if any.
    std::optional<char> readKey(int milliseconds);
    // Clears the screen and goes home before a frame.
    void beginFrame();
    // True once Ctrl-C (or a termination request) was seen.
    static bool interrupted();

  private:
    bool interactive_ = false;
};

} // namespace gaugehost
