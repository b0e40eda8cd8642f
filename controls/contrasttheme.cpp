#include "contrasttheme.h"

namespace {

std::optional<bool> &GivenAnswer()
{
    static std::optional<bool> answer;
    return answer;
}

} // namespace

bool ContrastThemeOn()
{
    const std::optional<bool> &given = GivenAnswer();
    return given ? *given : SystemContrastThemeOn();
}

void SetContrastThemeAnswer(std::optional<bool> Answer)
{
    GivenAnswer() = Answer;
}
