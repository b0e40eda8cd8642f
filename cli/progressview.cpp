#include "progressview.h"

#include "loaderrun.h"

#include <string>

namespace {

constexpr int BarWidth = 30;

// How far the run has come by the step about to run: the frames of the steps before it.
int PercentAt(std::uint8_t Step)
{
    constexpr int first = TLoaderRun::StepPageStart;
    constexpr int last = TLoaderRun::StepProgrammed;
    return (Step - first) * 100 / (last - first);
}

} // namespace

TProgressView::TProgressView(std::FILE *Stream, bool Bar)
    : FStream(Stream)
    , FBar(Bar)
{
}

void TProgressView::StepRun(std::uint8_t Step)
{
    // The step that moves on to the next page sends nothing; the last one is Programmed; a step
    // that runs again sends its frame again after a refusal, which a unit may do many times.
    if (Step == TLoaderRun::StepNextPage || Step == TLoaderRun::StepProgrammed || Step == FShown)
        return;
    FShown = Step;
    if (FBar) {
        DrawBar(PercentAt(Step), TLoaderRun::StepName(Step));
    } else {
        std::fprintf(FStream, "%s\n", TLoaderRun::StepName(Step));
        std::fflush(FStream);
    }
}

void TProgressView::Programmed()
{
    if (FBar) {
        DrawBar(100, "Programmed");
        Finish();
    } else {
        std::fprintf(FStream, "Programmed\n");
        std::fflush(FStream);
    }
}

void TProgressView::Finish()
{
    if (FBarShown)
        std::fputc('\n', FStream);
    FBarShown = false;
    std::fflush(FStream);
}

void TProgressView::DrawBar(int Percent, const char *Text)
{
    const int filled = Percent * BarWidth / 100;
    const std::string bar = std::string(filled, '#') + std::string(BarWidth - filled, '.');
    // Blanks after the text wipe out a longer one drawn before.
    std::fprintf(FStream, "\r[%s] %3d%% %-14s", bar.c_str(), Percent, Text);
    std::fflush(FStream);
    FBarShown = true;
}
