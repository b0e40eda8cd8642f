#include "serpersistent.h"

#include <stdexcept>
#include <string>

namespace {

template <typename T> const T &SourceOf(const TSerPersistent &Source, const char *ClassName)
{
    const auto *source = dynamic_cast<const T *>(&Source);
    if (source == nullptr)
        throw std::invalid_argument(std::string("Cannot assign to a ") + ClassName);
    return *source;
}

// Stores Value; true when it differed from the member.
template <typename T> bool Differs(T &Member, T Value)
{
    if (Member == Value)
        return false;
    Member = Value;
    return true;
}

} // namespace

void TSerPersistent::BeginUpdate()
{
    ++FUpdateCount;
}

void TSerPersistent::EndUpdate()
{
    if (FUpdateCount > 0)
        --FUpdateCount;
    Changed();
}

void TSerPersistent::Changed()
{
    if (FUpdateCount == 0 && OnChange)
        OnChange(this);
}

void TSerFlowControl::Assign(const TSerPersistent &Source)
{
    const auto &source = SourceOf<TSerFlowControl>(Source, "TSerFlowControl");
    BeginUpdate();
    SetOutCtsFlow(source.FOutCtsFlow);
    SetOutDsrFlow(source.FOutDsrFlow);
    SetControlDtr(source.FControlDtr);
    SetControlRts(source.FControlRts);
    SetXonXoffOut(source.FXonXoffOut);
    SetXonXoffIn(source.FXonXoffIn);
    SetDsrSensitivity(source.FDsrSensitivity);
    SetTxContinueOnXoff(source.FTxContinueOnXoff);
    EndUpdate();
}

void TSerFlowControl::SetOutCtsFlow(bool Value)
{
    if (Differs(FOutCtsFlow, Value))
        Changed();
}

void TSerFlowControl::SetOutDsrFlow(bool Value)
{
    if (Differs(FOutDsrFlow, Value))
        Changed();
}

void TSerFlowControl::SetControlDtr(TSerControlDtr Value)
{
    if (Differs(FControlDtr, Value))
        Changed();
}

void TSerFlowControl::SetControlRts(TSerControlRts Value)
{
    if (Differs(FControlRts, Value))
        Changed();
}

void TSerFlowControl::SetXonXoffOut(bool Value)
{
    if (Differs(FXonXoffOut, Value))
        Changed();
}

void TSerFlowControl::SetXonXoffIn(bool Value)
{
    if (Differs(FXonXoffIn, Value))
        Changed();
}

void TSerFlowControl::SetDsrSensitivity(bool Value)
{
    if (Differs(FDsrSensitivity, Value))
        Changed();
}

void TSerFlowControl::SetTxContinueOnXoff(bool Value)
{
    if (Differs(FTxContinueOnXoff, Value))
        Changed();
}

void TSerEventChars::Assign(const TSerPersistent &Source)
{
    const auto &source = SourceOf<TSerEventChars>(Source, "TSerEventChars");
    BeginUpdate();
    SetXonChar(source.FXonChar);
    SetXoffChar(source.FXoffChar);
    SetErrorChar(source.FErrorChar);
    SetEventChar(source.FEventChar);
    SetEofChar(source.FEofChar);
    EndUpdate();
}

void TSerEventChars::SetXonChar(std::uint8_t Value)
{
    FXonChar = Value;
    Changed();
}

void TSerEventChars::SetXoffChar(std::uint8_t Value)
{
    FXoffChar = Value;
    Changed();
}

void TSerEventChars::SetErrorChar(std::uint8_t Value)
{
    FErrorChar = Value;
    Changed();
}

void TSerEventChars::SetEventChar(std::uint8_t Value)
{
    FEventChar = Value;
    Changed();
}

void TSerEventChars::SetEofChar(std::uint8_t Value)
{
    FEofChar = Value;
    Changed();
}

void TSerBuffers::Assign(const TSerPersistent &Source)
{
    const auto &source = SourceOf<TSerBuffers>(Source, "TSerBuffers");
    BeginUpdate();
    FReadSize = source.FReadSize;
    FWriteSize = source.FWriteSize;
    FReadTimeout = source.FReadTimeout;
    FWriteTimeout = source.FWriteTimeout;
    FXonLimit = source.FXonLimit;
    FXoffLimit = source.FXoffLimit;
    EndUpdate();
}

void TSerBuffers::SetReadSize(std::int32_t Value)
{
    if (Differs(FReadSize, Value))
        Changed();
}

void TSerBuffers::SetWriteSize(std::int32_t Value)
{
    if (Differs(FWriteSize, Value))
        Changed();
}

void TSerBuffers::SetReadTimeout(std::int32_t Value)
{
    FReadTimeout = Value;
}

void TSerBuffers::SetWriteTimeout(std::int32_t Value)
{
    FWriteTimeout = Value;
}

void TSerBuffers::SetXonLimit(std::int32_t Value)
{
    if (Differs(FXonLimit, Value))
        Changed();
}

void TSerBuffers::SetXoffLimit(std::int32_t Value)
{
    if (Differs(FXoffLimit, Value))
        Changed();
}
