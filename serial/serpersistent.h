// The settings objects of the serial component; each tells its owner of every change once.
#pragma once

#include "sertypes.h"

#include <cstdint>
#include <functional>

class TSerPersistent {
public:
    virtual ~TSerPersistent() = default;

    // Notifications are held back while an update is open and sent once when the last one ends.
    void BeginUpdate();
    void EndUpdate();

    // The owner's reaction to a change; the component binds it when it creates the object.
    std::function<void(TSerPersistent *Sender)> OnChange;

protected:
    void Changed();

private:
    std::int32_t FUpdateCount = 0;
};

class TSerFlowControl : public TSerPersistent {
public:
    // Copies every member as one change; the source must be a TSerFlowControl.
    void Assign(const TSerPersistent &Source);

    bool OutCtsFlow() const { return FOutCtsFlow; }
    bool OutDsrFlow() const { return FOutDsrFlow; }
    TSerControlDtr ControlDtr() const { return FControlDtr; }
    TSerControlRts ControlRts() const { return FControlRts; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DsrSensitivity() const { return FDsrSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }

    void SetOutCtsFlow(bool Value);
    void SetOutDsrFlow(bool Value);
    void SetControlDtr(TSerControlDtr Value);
    void SetControlRts(TSerControlRts Value);
    void SetXonXoffOut(bool Value);
    void SetXonXoffIn(bool Value);
    void SetDsrSensitivity(bool Value);
    void SetTxContinueOnXoff(bool Value);

private:
    bool FOutCtsFlow = false;
    bool FOutDsrFlow = false;
    TSerControlDtr FControlDtr = TSerControlDtr::dtrDisabled;
    TSerControlRts FControlRts = TSerControlRts::rtsDisabled;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDsrSensitivity = false;
    bool FTxContinueOnXoff = false;
};

class TSerEventChars : public TSerPersistent {
public:
    void Assign(const TSerPersistent &Source);

    std::uint8_t XonChar() const { return FXonChar; }
    std::uint8_t XoffChar() const { return FXoffChar; }
    std::uint8_t ErrorChar() const { return FErrorChar; }
    std::uint8_t EventChar() const { return FEventChar; }
    std::uint8_t EofChar() const { return FEofChar; }

    // Each write notifies, even when the value is unchanged.
    void SetXonChar(std::uint8_t Value);
    void SetXoffChar(std::uint8_t Value);
    void SetErrorChar(std::uint8_t Value);
    void SetEventChar(std::uint8_t Value);
    void SetEofChar(std::uint8_t Value);

private:
    std::uint8_t FXonChar = 17;
    std::uint8_t FXoffChar = 19;
    std::uint8_t FErrorChar = 0;
    std::uint8_t FEventChar = 0;
    std::uint8_t FEofChar = 0;
};

class TSerBuffers : public TSerPersistent {
public:
    void Assign(const TSerPersistent &Source);

    std::int32_t ReadSize() const { return FReadSize; }
    std::int32_t WriteSize() const { return FWriteSize; }
    std::int32_t ReadTimeout() const { return FReadTimeout; }
    std::int32_t WriteTimeout() const { return FWriteTimeout; }
    std::int32_t XonLimit() const { return FXonLimit; }
    std::int32_t XoffLimit() const { return FXoffLimit; }

    void SetReadSize(std::int32_t Value);
    void SetWriteSize(std::int32_t Value);
    void SetReadTimeout(std::int32_t Value);  // no notification; used by the next read
    void SetWriteTimeout(std::int32_t Value); // no notification; used by the next write
    void SetXonLimit(std::int32_t Value);
    void SetXoffLimit(std::int32_t Value);

private:
    std::int32_t FReadSize = 4096;
    std::int32_t FWriteSize = 2048;
    std::int32_t FReadTimeout = 1000;
    std::int32_t FWriteTimeout = 1000;
    std::int32_t FXonLimit = 1024;
    std::int32_t FXoffLimit = 1024;
};
