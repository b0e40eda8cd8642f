// The fonts the windows are laid out for, and their stand-ins where they are not installed.
#pragma once

// Maps the windows' fonts (MS Sans Serif, Tahoma, Arial) onto installed fonts of about the same
// widths, so that texts fit the places they were laid out for. Call once, before any window.
void InstallFontSubstitutes();
