#pragma once

// What screen readers learn of a slider, through Qt's accessibility: a slider with the name and
// description that its window gives it, its value, range and step, and a notification at every
// change of value.

// Makes the slider's accessible interface known to Qt; once is enough for the whole process.
void InstallRulerSliderAccessibility();
