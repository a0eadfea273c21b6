#pragma once

// The client side of Telnet with the COM-PORT-OPTION, as a remote serial server such as ser2net
// speaks it: asks for a binary line at 9600 8N1 without flow control, strips the Telnet
// commands from what arrives and escapes what goes out. Bytes only: the caller owns the socket
// and the deadline.

#include "line_time.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

class Rfc2217Client {
public:
    enum class State { Negotiating, Ready, Refused };

    // What the server turned down; the values are those of the COM-PORT-OPTION on the wire.
    enum class Setting { ComPortOption, BinaryTransmission, BaudRate, DataSize, Parity, StopSize };
    struct Refusal {
        Setting setting = Setting::ComPortOption;
        std::uint32_t requested = 0;
        std::uint32_t answered = 0; // 0 for a refused option
    };

    struct Received {
        std::string data;  // the payload, Telnet commands removed and IAC IAC undoubled
        std::string reply; // to be sent back to the server as it is
    };

    static constexpr std::uint32_t kBaudRate = kLineBaud;
    static constexpr std::uint8_t kDataSize = 8;
    static constexpr std::uint8_t kParityNone = 1;
    static constexpr std::uint8_t kStopSizeOne = 1;
    // Longer subnegotiations carry nothing this client needs and are dropped whole.
    static constexpr std::size_t kMaxSubnegotiation = 64;

    // What to send right after connecting: the options this client wants. The line settings
    // follow in take()'s reply once the server agrees to the COM-PORT-OPTION: Telnet allows
    // subnegotiation only of an agreed option, and ser2net asks for it in its greeting anyway.
    std::string opening();
    // `data` as it must go out: every 0xFF doubled.
    static std::string escape(std::string_view data);
    // Bytes from the server, in any chunks: a command may be split anywhere between calls.
    Received take(std::string_view bytes);

    State state() const { return m_state; }
    // Valid once state() is Refused.
    Refusal refusal() const { return m_refusal; }
    // Why the server was refused, in English, e.g. "the server set the baud rate to 19200, not
    // 9600"; empty unless state() is Refused.
    std::string refusalText() const;
    // The server asked the client to stop sending (FLOWCONTROL-SUSPEND) and has not resumed.
    // The link does not pause for it: a line that takes nothing is told by its stall limit.
    bool isSuspended() const { return m_suspended; }
    // Bytes of an unfinished subnegotiation held between calls, never more than
    // kMaxSubnegotiation (an unfinished command is held as parser state, not as bytes).
    std::size_t pendingBytes() const { return m_subnegotiation.size(); }

private:
    // RFC 1143's states for one side of one option. This client never asks to disable an
    // option, so the WANTNO states and the queue bit are not needed.
    enum class Side : std::uint8_t { No, Yes, WantYes, Declined };
    enum class Parse : std::uint8_t { Data, Iac, Verb, Subnegotiation, SubnegotiationIac };

    void request(std::uint8_t verb, std::uint8_t option, std::string& out);
    void negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void keepSubnegotiationByte(std::uint8_t byte);
    void subnegotiated();
    void answered(Setting setting, std::uint32_t requested, std::uint32_t answered);
    void refuse(Setting setting, std::uint32_t requested, std::uint32_t answered);

    std::array<Side, 256> m_local{};  // options this client performs (WILL / WONT)
    std::array<Side, 256> m_remote{}; // options the server performs (DO / DONT)
    Parse m_parse = Parse::Data;
    std::uint8_t m_verb = 0;
    std::string m_subnegotiation; // option byte first, IAC IAC already undoubled
    bool m_subnegotiationTooLong = false;
    bool m_settingsSent = false;
    unsigned m_confirmed = 0; // one bit per line setting the server answered as asked
    bool m_suspended = false;
    State m_state = State::Negotiating;
    Refusal m_refusal;
};

} // namespace quillon
