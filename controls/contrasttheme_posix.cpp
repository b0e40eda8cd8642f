#include "contrasttheme.h"

// The desktops here have no contrast flag of their own: a contrast theme is a palette, which
// the program takes from the platform like any other.
bool SystemContrastThemeOn()
{
    return false;
}
