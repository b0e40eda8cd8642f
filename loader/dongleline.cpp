#include "dongleline.h"

#include "frames.h"
#include "sercomm.h"

void UseDongleLine(TSerCustomComm &Comm)
{
    Comm.SetBaudrate(TSerBaudrate::brUser);
    Comm.SetUserBaudrate(DongleBitRate);
    Comm.SetStopbits(TSerStopbits::sb2);
    TSerFlowControl &flow = Comm.FlowControl();
    flow.SetOutCtsFlow(false);
    flow.SetOutDsrFlow(false);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    flow.SetDsrSensitivity(false);
    flow.SetTxContinueOnXoff(false);
    flow.SetControlDtr(TSerControlDtr::dtrDisabled);
    flow.SetControlRts(TSerControlRts::rtsDisabled);
    Comm.SetMonitorEvents({TSerCommEvent::ceRxChar});
    Comm.SetEventPriority(TThreadPriority::tpHighest);
    Comm.SetDirectWrite(true);
}
