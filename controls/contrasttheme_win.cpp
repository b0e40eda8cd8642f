#include "contrasttheme.h"

#include <windows.h>

// Windows' contrast themes ("Aquatic", "Desert", "Dusk", "Night sky" and the classic "High
// Contrast" schemes) set this flag, and Windows asks every program to follow it.
bool SystemContrastThemeOn()
{
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    // A system that cannot say has no contrast theme on: the windows keep their own colours.
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0))
        return false;
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}
