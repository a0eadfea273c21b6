#pragma once

// One SCPI client's side of the instrument: the bytes it sends become lines, the lines become
// the board's frames handed to a FrameSink, and the queries' answers become reply lines. Each
// client has its own input, status and error queue; what the channels were last set to is
// shared by all clients of one program.

#include "message_parser.h"
#include "status_model.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::sequence {
struct Frame;
}

namespace quillon::scpi {

// What became of a frame handed to the link.
struct SendOutcome {
    enum class Kind { Queued, Refused, NoPort };
    Kind kind = Kind::Queued;
    std::string reason; // why it was refused ("line busy", "port lost"), short and plain
};

// Where one client's frames go: the board's link, as the program that serves the client has it.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual SendOutcome send(const sequence::Frame& frame) = 0;
    // Whether frames this client sent still need their time on the line.
    virtual bool framesPending() const = 0;
};

// The voltage each channel was last set to through this program, as VOLTage? answers it.
class ChannelReadback {
public:
    ChannelReadback();

    const std::string& answer(int channel) const;
    void set(int channel, std::string answer);
    void setAll(const std::string& answer);

private:
    std::vector<std::string> m_answers;
};

class Session {
public:
    // The most input a held client may have waiting unread; more is dropped with -363.
    static constexpr std::size_t kLongestHeldInput = 64 * 1024;

    // `version` is the program's, the fourth field of *IDN?.
    Session(FrameSink& sink, ChannelReadback& readback, std::string version);

    // Takes the client's bytes; the reply lines (each ended by LF) of the lines they end.
    std::string receive(std::string_view bytes);
    // The frames this client sent have had their time on the line: *OPC sets its bit, and a
    // client held by *WAI or *OPC? goes on. The reply lines that come of it.
    std::string framesDone();
    // A frame of this client that the link had queued was dropped, never sent.
    void reportDroppedFrame(std::string_view reason);

    // Held by *WAI or *OPC? until framesDone(); input given meanwhile waits.
    bool isHeld() const { return m_hold != Hold::None; }
    const StatusModel& status() const { return m_status; }
    // Input kept between calls: a partial line and, while held, what came after it.
    std::size_t bufferedBytes() const;

private:
    enum class Hold { None, Wait, OperationCompleteQuery };
    enum class Flow { Next, Hold, StopLine };

    std::string run();
    void startLine(std::string_view line);
    std::string finishLine();
    Flow execute(const MessageUnit& unit);
    Flow executeCommon(const MessageUnit& unit);
    Flow executeCommand(const MessageUnit& unit);
    Flow fail(ErrorCode code, std::string reason = {});
    bool send(const std::vector<std::string>& words);

    FrameSink& m_sink;
    ChannelReadback& m_readback;
    std::string m_version;
    StatusModel m_status;
    LineAssembler m_assembler;
    std::string m_input;
    std::size_t m_consumed = 0;
    // The line being executed: its units, the next one, the answers so far, the current path.
    std::vector<MessageUnit> m_units;
    std::size_t m_nextUnit = 0;
    bool m_lineOpen = false;
    std::vector<std::string> m_answers;
    std::vector<Keyword> m_path;
    Hold m_hold = Hold::None;
    bool m_operationCompleteArmed = false;
};

} // namespace quillon::scpi
