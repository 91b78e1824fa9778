// SPDX-License-Identifier: MIT
// panel_terminal_host.cpp
//
// The panel's terminal on the host build: termios without echo or line
// buffering, poll for keys, ANSI sequences to redraw, the window size from
// TIOCGWINSZ. Ctrl-Z gives the terminal back before the process stops and
// SIGCONT takes it again, as top does; only async-signal-safe calls are made
// in the handlers.
#include "tools/gaugehost/panel/panel_terminal.h"

#include "tools/gaugehost/plugin_host/program_environment.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace gaugehost {

namespace {

termios savedMode;
termios panelMode;
volatile std::sig_atomic_t redrawRequested = 0;

constexpr char kHideCursor[] = "\x1b[?25l";
constexpr char kShowCursor[] = "\x1b[?25h";

void writeText(const char* text, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(STDOUT_FILENO, text, length);
        if (written <= 0)
            return;
        text += written;
        length -= size_t(written);
    }
}

void onSuspend(int)
{
    const int saved = errno;
    writeText(kShowCursor, sizeof kShowCursor - 1);
    tcsetattr(STDIN_FILENO, TCSADRAIN, &savedMode);
    std::signal(SIGTSTP, SIG_DFL);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP); // stops here until SIGCONT
    errno = saved;
}

void onContinue(int)
{
    const int saved = errno;
    tcsetattr(STDIN_FILENO, TCSADRAIN, &panelMode);
    writeText(kHideCursor, sizeof kHideCursor - 1);
    struct sigaction suspend = {};
    suspend.sa_handler = onSuspend;
    sigaction(SIGTSTP, &suspend, nullptr);
    redrawRequested = 1;
    errno = saved;
}

void onResize(int)
{
    redrawRequested = 1;
}

} // namespace

PanelTerminal::PanelTerminal()
{
    interactive_ = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    if (!interactive_)
        return;
    const char* term = std::getenv("TERM");
    colors_ = term != nullptr && std::strcmp(term, "dumb") != 0;
    tcgetattr(STDIN_FILENO, &savedMode);
    panelMode = savedMode;
    panelMode.c_lflag &= ~(ICANON | ECHO);
    panelMode.c_cc[VMIN] = 0;
    panelMode.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &panelMode);
    catchStopRequests();
    struct sigaction action = {};
    action.sa_handler = onSuspend;
    sigaction(SIGTSTP, &action, nullptr);
    action.sa_handler = onContinue;
    sigaction(SIGCONT, &action, nullptr);
    action.sa_handler = onResize;
    sigaction(SIGWINCH, &action, nullptr);
    writeText(kHideCursor, sizeof kHideCursor - 1);
}

PanelTerminal::~PanelTerminal()
{
    if (!interactive_)
        return;
    std::signal(SIGTSTP, SIG_DFL);
    std::signal(SIGCONT, SIG_DFL);
    std::signal(SIGWINCH, SIG_DFL);
    writeText(kShowCursor, sizeof kShowCursor - 1);
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

size_t PanelTerminal::columns() const
{
    winsize size = {};
    if (interactive_ && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

bool PanelTerminal::needsRedraw()
{
    if (!redrawRequested)
        return false;
    redrawRequested = 0;
    return true;
}

void PanelTerminal::show(const std::string& frame)
{
    if (!interactive_) {
        writeText(frame.data(), frame.size());
        return;
    }
    const std::string screen = redrawSequence(frame);
    writeText(screen.data(), screen.size());
}

} // namespace gaugehost
