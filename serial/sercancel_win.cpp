#include "sercancel_win.h"

BOOL SerCancelTransfer(HANDLE Device, OVERLAPPED *Transfer)
{
    return CancelIoEx(Device, Transfer);
}
