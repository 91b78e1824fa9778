// panel_terminal_host.cpp
//
// The panel's terminal on the host build: termios without echo or line
// buffering, poll for keys, ANSI sequences to redraw.
#include "tools/gaugehost/panel_terminal.h"

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace gaugehost {

namespace {

termios savedMode;
volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

} // namespace

PanelTerminal::PanelTerminal()
{
    interactive_ = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    if (!interactive_)
        return;
    tcgetattr(STDIN_FILENO, &savedMode);
    termios raw = savedMode;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::fputs("\x1b[?25l", stdout); // hide the cursor
}

PanelTerminal::~PanelTerminal()
{
    if (!interactive_)
        return;
    std::fputs("\x1b[?25h\n", stdout);
    std::fflush(stdout);
    tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
}

std::optional<char> PanelTerminal::readKey(int milliseconds)
{
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, milliseconds) <= 0)
        return std::nullopt;
    char key;
    if (read(STDIN_FILENO, &key, 1) != 1)
        return std::nullopt;
    return key;
}

void PanelTerminal::beginFrame()
{
    if (interactive_)
        std::fputs("\x1b[H\x1b[2J", stdout);
}

bool PanelTerminal::interrupted()
{
    return stopRequested != 0;
}

} // namespace gaugehost
