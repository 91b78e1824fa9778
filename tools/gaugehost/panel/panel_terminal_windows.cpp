// SPDX-License-Identifier: MIT
// panel_terminal_windows.cpp
//
// The panel's terminal on Windows: the console's single-key input (_kbhit,
// _getch), Ctrl-C through the console's control handler, UTF-8 output, and
// virtual-terminal sequences to redraw in place and colour values. A console
// without virtual-terminal support (before Windows 10) is cleared with cls
// between frames and shows no colour.
#include "tools/gaugehost/panel/panel_terminal.h"

#include "tools/gaugehost/plugin_host/program_environment.h"

#include <conio.h>
#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace gaugehost {

namespace {

UINT savedOutputCodePage = 0;
DWORD savedOutputMode = 0;
size_t lastColumns = 0;

HANDLE consoleOutput()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

} // namespace

PanelTerminal::PanelTerminal()
{
    interactive_ = _isatty(_fileno(stdin)) && _isatty(_fileno(stdout));
    if (!interactive_)
        return;
    catchStopRequests();
    savedOutputCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    if (GetConsoleMode(consoleOutput(), &savedOutputMode))
        colors_ = SetConsoleMode(consoleOutput(),
                                 savedOutputMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    if (colors_)
        std::fputs("\x1b[?25l", stdout);
    lastColumns = columns();
}

PanelTerminal::~PanelTerminal()
{
    if (!interactive_)
        return;
    if (colors_) {
        std::fputs("\x1b[?25h\n", stdout);
        std::fflush(stdout);
        SetConsoleMode(consoleOutput(), savedOutputMode);
    }
    SetConsoleOutputCP(savedOutputCodePage);
}

std::optional<char> PanelTerminal::readKey(int milliseconds)
{
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (_kbhit())
            return static_cast<char>(_getch());
        Sleep(20);
    }
    return std::nullopt;
}

size_t PanelTerminal::columns() const
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (interactive_ && GetConsoleScreenBufferInfo(consoleOutput(), &info))
        return size_t(info.srWindow.Right - info.srWindow.Left + 1);
    return 80;
}

bool PanelTerminal::needsRedraw()
{
    // The console sends no signal on a resize: the width is looked at.
    const size_t now = columns();
    if (now == lastColumns)
        return false;
    lastColumns = now;
    return true;
}

void PanelTerminal::show(const std::string& frame)
{
    if (!colors_) {
        std::system("cls");
        std::fputs(frame.c_str(), stdout);
        std::fflush(stdout);
        return;
    }
    const std::string screen = redrawSequence(frame);
    std::fwrite(screen.data(), 1, screen.size(), stdout);
    std::fflush(stdout);
}

} // namespace gaugehost
