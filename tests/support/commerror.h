// The serial component's failures as the tests compare them.
#pragma once

#include <functional>
#include <string>

// The message of the ESerCommError that Action raises, or "" when it raises none.
std::string CommErrorOf(const std::function<void()> &Action);
