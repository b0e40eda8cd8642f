// Nothing moves on screen while the program waits.
#pragma once

class QCoreApplication;

// The Windows Vista style pulses a default button for as long as its window is active: a
// two-second animation that the style starts afresh at the repaint that ends it, so an idle
// window repaints its default button about thirty times a second without end. From now on App
// refuses the repaints of that pulse: the pulse then stops at its first frame, which is the
// default button's resting look, and starts again only when the button is repainted for another
// reason. Transitions between a button's states (hover, press) end by themselves and are left
// alone. Other styles have no such pulse, and nothing changes for them.
void InstallQuietPulse(QCoreApplication *App);
