// The device-layer calls whose outcome a driver decides, each a call of its own in a file of its
// own, so that a Windows test can stand in for a driver that misbehaves: one that ignores the
// cancel of a request, or leaves an event wait pending when the event mask is emptied, as some
// do once their USB adapter has been pulled out; or one that refuses the line settings with a
// generic code while the adapter is there.
#pragma once

#include <windows.h>

// Cancels one overlapped request of a device: a transfer or an event wait (CancelIoEx).
BOOL SerCancelRequest(HANDLE Device, OVERLAPPED *Request);

// Empties the device's event mask, which ends its pending event wait (SetCommMask).
BOOL SerEndEventWait(HANDLE Device);

// Starts an overlapped wait for the device's events (WaitCommEvent).
BOOL SerStartEventWait(HANDLE Device, DWORD *Events, OVERLAPPED *Request);

// Gives the device its line settings (SetCommState).
BOOL SerSetLineSettings(HANDLE Device, DCB *Settings);
