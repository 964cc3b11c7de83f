#pragma once

#include <optional>

// The state of the lock keys for the status bar. Read from the X server's keyboard indicators;
// a state that cannot be read (another display server, no keyboard extension) is empty.
struct KeyboardLocks
{
    std::optional<bool> num;
    std::optional<bool> scroll;
    std::optional<bool> caps;
};

KeyboardLocks readKeyboardLocks();
