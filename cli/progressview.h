// How a command shows a loader run: a bar redrawn in place on a terminal, plain lines otherwise.
#pragma once

#include <cstdint>
#include <cstdio>

class TProgressView {
public:
    TProgressView(std::FILE *Stream, bool Bar);

    // A step of the run is about to run its action.
    void StepRun(std::uint8_t Step);
    void Programmed();
    // Ends the bar's line, so that other text starts on a line of its own.
    void Finish();

private:
    void DrawBar(int Percent, const char *Text);

    std::FILE *FStream;
    bool FBar;
    bool FBarShown = false;
    std::uint8_t FShown = 0; // the step shown last
};
