// panel_terminal_windows.cpp
//
// The panel's terminal on Windows: the console's single-key input (_kbhit,
// _getch), Ctrl-C through the console's control handler, a cleared screen
// before each frame.
#include "tools/gaugehost/panel_terminal.h"

#include <conio.h>
#include <cstdlib>
#include <cstdio>
#include <io.h>
#include <windows.h>

namespace gaugehost {

namespace {

volatile LONG stopRequested = 0;

BOOL WINAPI onControl(DWORD)
{
    stopRequested = 1;
    return TRUE;
}

} // namespace

PanelTerminal::PanelTerminal()
{
    interactive_ = _isatty(_fileno(stdin)) && _isatty(_fileno(stdout));
    if (interactive_)
        SetConsoleCtrlHandler(onControl, TRUE);
}

PanelTerminal::~PanelTerminal()
{
    if (interactive_)
        SetConsoleCtrlHandler(onControl, FALSE);
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

void PanelTerminal::beginFrame()
{
    if (interactive_)
        std::system("cls");
}

bool PanelTerminal::interrupted()
{
    return stopRequested != 0;
}

} // namespace gaugehost
