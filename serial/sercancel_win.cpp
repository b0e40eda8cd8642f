#include "sercancel_win.h"

BOOL SerCancelRequest(HANDLE Device, OVERLAPPED *Request)
{
    return CancelIoEx(Device, Request);
}

BOOL SerEndEventWait(HANDLE Device)
{
    return SetCommMask(Device, 0);
}

BOOL SerStartEventWait(HANDLE Device, DWORD *Events, OVERLAPPED *Request)
{
    return WaitCommEvent(Device, Events, Request);
}

BOOL SerSetLineSettings(HANDLE Device, DCB *Settings)
{
    return SetCommState(Device, Settings);
}
