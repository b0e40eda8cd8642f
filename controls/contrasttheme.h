// Whether the user has switched on a contrast theme: every program is then to draw in the
// system's own colours, which the user chose to be able to read the screen at all.
#pragma once

#include <optional>

bool ContrastThemeOn();

// What ContrastThemeOn answers instead of asking the system; nullopt asks the system again. For
// tests on a system that cannot report a contrast theme (Wine answers "none" whatever its
// registry holds).
void SetContrastThemeAnswer(std::optional<bool> Answer);

// The system's own answer; one file per platform.
bool SystemContrastThemeOn();
