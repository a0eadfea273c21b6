#include "rfc2217_client.h"

namespace quillon {

namespace {

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;

constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers each with +100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kServerOffset = 100;
constexpr std::uint8_t kFlowControlSuspend = 108;
constexpr std::uint8_t kFlowControlResume = 109;

constexpr std::uint8_t kControlNoFlowControl = 1;
constexpr std::uint8_t kControlDtrOn = 8;
constexpr std::uint8_t kControlRtsOn = 11;

constexpr unsigned kAllLineSettings = 0b1111;

bool LocalWanted(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool RemoteWanted(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

void AppendCommand(std::string& out, std::uint8_t verb, std::uint8_t option) {
    out += char(kIac);
    out += char(verb);
    out += char(option);
}

void AppendSubnegotiation(std::string& out, std::uint8_t command, std::string_view value) {
    out += char(kIac);
    out += char(kSb);
    out += char(kComPort);
    out += char(command);
    out += Rfc2217Client::escape(value);
    out += char(kIac);
    out += char(kSe);
}

std::string ByteValue(std::uint8_t value) {
    return std::string(1, char(value));
}

std::string BigEndian(std::uint32_t value) {
    return {char(value >> 24), char(value >> 16 & 0xFF), char(value >> 8 & 0xFF),
            char(value & 0xFF)};
}

std::string ParityName(std::uint32_t code) {
    switch (code) {
    case 1:
        return "none";
    case 2:
        return "odd";
    case 3:
        return "even";
    case 4:
        return "mark";
    case 5:
        return "space";
    }
    return "code " + std::to_string(code);
}

std::string StopSizeName(std::uint32_t code) {
    switch (code) {
    case 1:
        return "1";
    case 2:
        return "2";
    case 3:
        return "1.5";
    }
    return "code " + std::to_string(code);
}

} // namespace

std::string Rfc2217Client::opening() {
    std::string out;
    request(kWill, kBinary, out);
    request(kDo, kBinary, out);
    request(kWill, kSuppressGoAhead, out);
    request(kDo, kSuppressGoAhead, out);
    request(kWill, kComPort, out);
    return out;
}

std::string Rfc2217Client::escape(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (char byte : data) {
        out += byte;
        if (std::uint8_t(byte) == kIac)
            out += byte;
    }
    return out;
}

void Rfc2217Client::request(std::uint8_t verb, std::uint8_t option, std::string& out) {
    Side& side = verb == kWill ? m_local[option] : m_remote[option];
    if (side != Side::No)
        return;
    side = Side::WantYes;
    AppendCommand(out, verb, option);
}

Rfc2217Client::Received Rfc2217Client::take(std::string_view bytes) {
    Received received;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const auto byte = std::uint8_t(bytes[k]);
        switch (m_parse) {
        case Parse::Data:
            if (byte == kIac)
                m_parse = Parse::Iac;
            else
                received.data += char(byte);
            break;
        case Parse::Iac:
            if (byte == kIac) {
                received.data += char(byte);
                m_parse = Parse::Data;
            } else if (byte >= kWill && byte <= kDont) {
                m_verb = byte;
                m_parse = Parse::Verb;
            } else if (byte == kSb) {
                m_subnegotiation.clear();
                m_subnegotiationTooLong = false;
                m_parse = Parse::Subnegotiation;
            } else {
                // NOP, GA, DM, AYT and the like carry nothing for a serial line.
                m_parse = Parse::Data;
            }
            break;
        case Parse::Verb:
            negotiate(m_verb, byte, received.reply);
            m_parse = Parse::Data;
            break;
        case Parse::Subnegotiation:
            if (byte == kIac)
                m_parse = Parse::SubnegotiationIac;
            else
                keepSubnegotiationByte(byte);
            break;
        case Parse::SubnegotiationIac:
            if (byte == kSe) {
                if (!m_subnegotiationTooLong)
                    subnegotiated();
                m_subnegotiation.clear();
                m_parse = Parse::Data;
            } else if (byte == kIac) {
                keepSubnegotiationByte(byte);
                m_parse = Parse::Subnegotiation;
            } else {
                // A command inside a subnegotiation ends it unfinished; the command still counts,
                // so this byte is read again as the one after an IAC.
                m_subnegotiation.clear();
                m_parse = Parse::Iac;
                --k;
            }
            break;
        }
    }
    return received;
}

void Rfc2217Client::keepSubnegotiationByte(std::uint8_t byte) {
    if (m_subnegotiation.size() == kMaxSubnegotiation) {
        m_subnegotiation.clear();
        m_subnegotiationTooLong = true;
    }
    if (!m_subnegotiationTooLong)
        m_subnegotiation += char(byte);
}

// RFC 1143's rules, plus one: an option this client does not want is refused once, and asking
// again gets no answer, so a server that repeats itself forever cannot make it talk forever.
void Rfc2217Client::negotiate(std::uint8_t verb, std::uint8_t option, std::string& reply) {
    const bool aboutLocal = verb == kDo || verb == kDont;
    const bool positive = verb == kWill || verb == kDo;
    Side& side = aboutLocal ? m_local[option] : m_remote[option];
    const bool wanted = aboutLocal ? LocalWanted(option) : RemoteWanted(option);
    const std::uint8_t agree = aboutLocal ? kWill : kDo;
    const std::uint8_t decline = aboutLocal ? kWont : kDont;

    if (positive) {
        if (side == Side::No && !wanted) {
            side = Side::Declined;
            AppendCommand(reply, decline, option);
            return;
        }
        if (side == Side::No)
            AppendCommand(reply, agree, option);
        if (side == Side::No || side == Side::WantYes) {
            side = Side::Yes;
            if (aboutLocal && option == kComPort && !m_settingsSent) {
                m_settingsSent = true;
                AppendSubnegotiation(reply, kSetBaudRate, BigEndian(kBaudRate));
                AppendSubnegotiation(reply, kSetDataSize, ByteValue(kDataSize));
                AppendSubnegotiation(reply, kSetParity, ByteValue(kParityNone));
                AppendSubnegotiation(reply, kSetStopSize, ByteValue(kStopSizeOne));
                AppendSubnegotiation(reply, kSetControl, ByteValue(kControlNoFlowControl));
                AppendSubnegotiation(reply, kSetControl, ByteValue(kControlDtrOn));
                AppendSubnegotiation(reply, kSetControl, ByteValue(kControlRtsOn));
            }
        }
        return;
    }
    if (side != Side::Yes && side != Side::WantYes)
        return;
    if (side == Side::Yes)
        AppendCommand(reply, decline, option);
    side = Side::No;
    if (aboutLocal && option == kComPort)
        refuse(Setting::ComPortOption, 0, 0);
    else if (option == kBinary)
        refuse(Setting::BinaryTransmission, 0, 0);
}

void Rfc2217Client::subnegotiated() {
    const std::string_view body = m_subnegotiation;
    if (body.size() < 2 || std::uint8_t(body[0]) != kComPort || !m_settingsSent)
        return;
    const auto command = std::uint8_t(body[1]);
    const std::string_view value = body.substr(2);
    const auto byteAnswer = [&](Setting setting, std::uint8_t requested) {
        if (value.size() == 1)
            answered(setting, requested, std::uint8_t(value[0]));
    };
    switch (command) {
    case kServerOffset + kSetBaudRate:
        if (value.size() == 4) {
            std::uint32_t baud = 0;
            for (char byte : value)
                baud = baud << 8 | std::uint8_t(byte);
            answered(Setting::BaudRate, kBaudRate, baud);
        }
        break;
    case kServerOffset + kSetDataSize:
        byteAnswer(Setting::DataSize, kDataSize);
        break;
    case kServerOffset + kSetParity:
        byteAnswer(Setting::Parity, kParityNone);
        break;
    case kServerOffset + kSetStopSize:
        byteAnswer(Setting::StopSize, kStopSizeOne);
        break;
    case kFlowControlSuspend:
        m_suspended = true;
        break;
    case kFlowControlResume:
        m_suspended = false;
        break;
    }
}

void Rfc2217Client::answered(Setting setting, std::uint32_t requested, std::uint32_t answered) {
    if (m_state != State::Negotiating)
        return;
    if (answered != requested) {
        refuse(setting, requested, answered);
        return;
    }
    m_confirmed |= 1u << (int(setting) - int(Setting::BaudRate));
    if (m_confirmed == kAllLineSettings && m_local[kComPort] == Side::Yes)
        m_state = State::Ready;
}

void Rfc2217Client::refuse(Setting setting, std::uint32_t requested, std::uint32_t answered) {
    if (m_state != State::Negotiating)
        return;
    m_state = State::Refused;
    m_refusal = {setting, requested, answered};
}

std::string Rfc2217Client::refusalText() const {
    if (m_state != State::Refused)
        return {};
    const auto set = [](const char* what, const std::string& answered,
                        const std::string& requested) {
        return std::string("the server set the ") + what + " to " + answered + ", not " + requested;
    };
    const Refusal& r = m_refusal;
    switch (r.setting) {
    case Setting::ComPortOption:
        return "the server does not offer RFC 2217 (COM-PORT-OPTION)";
    case Setting::BinaryTransmission:
        return "the server refuses binary transmission";
    case Setting::BaudRate:
        return set("baud rate", std::to_string(r.answered), std::to_string(r.requested));
    case Setting::DataSize:
        return set("data size", std::to_string(r.answered) + " bits", std::to_string(r.requested));
    case Setting::Parity:
        return set("parity", ParityName(r.answered), ParityName(r.requested));
    case Setting::StopSize:
        return set("stop bits", StopSizeName(r.answered), StopSizeName(r.requested));
    }
    return {};
}

} // namespace quillon
