#pragma once

// What the main window asks of the X desktop beyond Qt: the lock-key states for the status bar
// and hiding the taskbar button while the tray icon stands in for it. Elsewhere (another display
// server, no X library at build time) the states are unknown and the taskbar is left alone.

#include <optional>

class QWidget;

struct KeyboardLocks
{
    std::optional<bool> num;
    std::optional<bool> scroll;
    std::optional<bool> caps;
};

KeyboardLocks readKeyboardLocks();

// Asks the window manager to leave window out of the taskbar (or put it back). Returns false
// when that cannot be asked here.
bool setSkipTaskbar(QWidget *window, bool skip);
