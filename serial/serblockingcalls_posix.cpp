#include "serblockingcalls.h"

struct TSerBlockingCalls::TImpl {};

TSerBlockingCalls::TSerBlockingCalls() = default;

TSerBlockingCalls::~TSerBlockingCalls() = default;

bool TSerBlockingCalls::Cancel()
{
    return false;
}
