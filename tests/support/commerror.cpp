#include "commerror.h"

#include "serexception.h"

std::string CommErrorOf(const std::function<void()> &Action)
{
    try {
        Action();
    } catch (const ESerCommError &e) {
        return e.what();
    }
    return "";
}
