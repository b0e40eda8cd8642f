// The simulated dongle and unit: fed with the bytes the PC sends, it answers as the radio
// dongle does during discovery and as the unit's boot loader does during a loader run. No
// platform code: the transport feeds it and sends what falls due.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using TUnitClock = std::chrono::steady_clock;
using TUnitTime = TUnitClock::time_point;

enum class TFrameKind { PageStart, Block, PageAddress, Finish, Malformed };

// How the unit treated a frame.
enum class TFrameAnswer { Acknowledged, Refused, Unanswered };

// The faults to play. Frame numbers count the frames of the current run from 1; a run begins
// with the first frame after "Z" or after the finish frame of the previous run.
struct TUnitSimOptions {
    int EepromSize = 256;

    bool SilentDongle = false; // never answers the probe
    bool SilentUnit = false;   // receives frames but neither carries them out nor answers

    std::set<int> RefuseFrames{};            // refuse these frames of every run
    std::map<TFrameKind, int> RefuseKinds{}; // refuse the first N frames of a kind (whole session)
    std::set<int> UnexpectedBeforeFrames{};  // an "X" line comes before the answer of these frames
    std::set<int> EmptyLineBeforeFrames{};   // a lone CR comes before the answer of these frames

    std::chrono::milliseconds AnswerDelay{0};      // every answer waits this long
    std::chrono::milliseconds FrameAnswerDelay{0}; // answers to frames wait this much longer
    std::map<int, std::chrono::milliseconds> LateFrames{}; // and these frames of every run more
    std::string ProbeAnswer = "IWRX";                      // the dongle's answer to the probe
    std::chrono::milliseconds SplitPause{0}; // > 0: answers go out in pieces with this pause
    int SplitPieceSize = 1;                  // bytes per piece of a split answer
    bool EscapeAnswers = false;              // every byte of a line escaped with 33 and XOR 255

    int StopAnsweringAfterFrame = 0;   // > 0: the unit goes silent for good after this frame
    int UnplugAfterFrame = 0;          // > 0: the device disappears when this frame arrives
    bool UnplugOnProbe = false;        // the device disappears when the probe arrives
    bool UnplugMidProbeAnswer = false; // half the probe's answer goes out, then the device goes
};

// A frame as the unit received it.
struct TUnitFrame {
    TUnitTime Time;
    std::string Bytes;
    int RunFrame = 0; // the frame's number in its run, from 1
    TFrameKind Kind = TFrameKind::Malformed;
    TFrameAnswer Answer = TFrameAnswer::Unanswered;
};

// Between frames, "N" is answered "IWRX" (the dongle), "Z" wakes the boot loader and, once it
// listens, "D" starts a 34-byte frame; other bytes are skipped. A frame is refused with "N" when
// it is malformed (size byte not 32, unknown command, block offset other than 0 or 16, non-zero
// fill) or its page address is not index * 32 + 5 inside the EEPROM; otherwise it is carried out
// and acknowledged with "A". "SE" commits the page buffer that "SN" cleared and "SB" filled.
class TUnitSim {
public:
    using TClock = std::function<TUnitTime()>;

    explicit TUnitSim(TUnitSimOptions Options = {}, TClock Clock = &TUnitClock::now);

    // Bytes the PC sent, in order of arrival.
    void Receive(std::string_view Bytes);

    // When the next piece of an answer falls due; TUnitTime::max() when nothing waits.
    TUnitTime NextDue() const;

    // The answer bytes due by now, in order; they are removed from the queue.
    std::string TakeDue();

    // The device has disappeared (one of the unplug faults came due): the transport closes its
    // end. TakeDue notices a disappearance that was due by a time.
    bool Unplugged() const { return FUnplugged; }

    const std::vector<std::uint8_t> &Eeprom() const { return FEeprom; }
    const std::vector<TUnitFrame> &Frames() const { return FFrames; }
    int ProbeCount() const { return FProbeCount; }
    bool LoaderListening() const { return FLoaderListening; }

private:
    struct TPiece {
        TUnitTime Due;
        std::string Bytes;
    };

    void ReceiveByte(char Byte);
    void ReceiveBetweenFrames(char Byte);
    void HandleFrame();
    TFrameAnswer ExecuteFrame(TUnitFrame &Frame);
    bool CommitPage(int Address);
    bool ShouldRefuse(const TUnitFrame &Frame);
    void AnswerFrame(const TUnitFrame &Frame);
    void Send(std::string Lines, std::chrono::milliseconds Delay);
    void Unplug();
    std::string Line(std::string_view Text) const;

    TUnitSimOptions FOptions;
    TClock FClock;

    std::vector<std::uint8_t> FEeprom;
    std::vector<std::uint8_t> FPage;
    std::string FFrame; // the frame being received, empty between frames
    bool FLoaderListening = false;
    bool FSilenced = false;
    bool FUnplugged = false;
    TUnitTime FUnplugDue = TUnitTime::max(); // a disappearance that waits for its time
    int FRunFrames = 0;
    int FProbeCount = 0;
    std::map<TFrameKind, int> FRefusalsLeft;

    std::vector<TUnitFrame> FFrames;
    std::deque<TPiece> FQueue; // in due order
};

// The name of a frame kind as its command letters ("SN", "SB", "SE", "SZ") or "malformed".
std::string FrameKindName(TFrameKind Kind);
