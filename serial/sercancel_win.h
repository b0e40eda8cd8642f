// Cancels one overlapped transfer of a device (CancelIoEx). A call of its own, in a file of its
// own, so that a Windows test can stand in for a driver that ignores the cancel, as some do once
// their USB adapter has been pulled out.
#pragma once

#include <windows.h>

BOOL SerCancelTransfer(HANDLE Device, OVERLAPPED *Transfer);
