// libFuzzer target for the RFC 2217 client codec. The input is what a server sends, after two
// bytes that pick where it is split in two. Broken invariants abort, so a wrong result counts as
// a crash, not only a sanitizer report.

#include "fuzz_require.h"
#include "rfc2217_client.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using quillon::Rfc2217Client;

// The seven SET requests the client sends once the server takes the option.
constexpr std::size_t kSettingsSize = 52;

// What ser2net 4.3 sends a new client and the answers to its settings, which make it Ready.
constexpr char kAgreementBytes[] = "\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00"
                                   "\xff\xfb\x00\xff\xfd\x2c"
                                   "\xff\xfa\x2c\x65\x00\x00\x25\x80\xff\xf0"
                                   "\xff\xfa\x2c\x66\x08\xff\xf0\xff\xfa\x2c\x67\x01\xff\xf0"
                                   "\xff\xfa\x2c\x68\x01\xff\xf0\xff\xfa\x2c\x69\x01\xff\xf0";
const std::string kAgreement(kAgreementBytes, sizeof kAgreementBytes - 1);

struct Outcome {
    std::string data;
    std::string reply;
};

Outcome Feed(Rfc2217Client& client, std::string_view bytes, std::size_t pieceSize) {
    Outcome outcome;
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
        const auto received = client.take(bytes.substr(at, pieceSize));
        outcome.data += received.data;
        outcome.reply += received.reply;
        REQUIRE(client.pendingBytes() <= Rfc2217Client::kMaxSubnegotiation);
    }
    return outcome;
}

void RequireSameState(const Rfc2217Client& a, const Rfc2217Client& b) {
    REQUIRE(a.state() == b.state());
    REQUIRE(a.refusalText() == b.refusalText());
    REQUIRE(a.isSuspended() == b.isSuspended());
    REQUIRE(a.pendingBytes() == b.pendingBytes());
    if (a.state() == Rfc2217Client::State::Refused) {
        REQUIRE(a.refusal().setting == b.refusal().setting);
        REQUIRE(a.refusal().requested == b.refusal().requested);
        REQUIRE(a.refusal().answered == b.refusal().answered);
        REQUIRE(!a.refusalText().empty());
    }
}

// Whole, split in two, and byte by byte: the same data, replies and state.
void CheckChunking(std::string_view input, std::size_t split) {
    Rfc2217Client whole;
    whole.opening();
    const Outcome once = Feed(whole, input, input.size() + 1);
    REQUIRE(once.data.size() <= input.size());
    REQUIRE(once.reply.size() <= input.size() + kSettingsSize);

    Rfc2217Client halves;
    halves.opening();
    Outcome twice = Feed(halves, input.substr(0, split), split + 1);
    const Outcome rest = Feed(halves, input.substr(split), input.size() + 1);
    twice.data += rest.data;
    twice.reply += rest.reply;
    REQUIRE(twice.data == once.data && twice.reply == once.reply);
    RequireSameState(whole, halves);

    Rfc2217Client bytewise;
    bytewise.opening();
    const Outcome single = Feed(bytewise, input, 1);
    REQUIRE(single.data == once.data && single.reply == once.reply);
    RequireSameState(whole, bytewise);
}

// Once Ready, whatever is escaped comes back as it was, with nothing to answer.
void CheckRoundTrip(std::string_view input) {
    Rfc2217Client client;
    client.opening();
    client.take(kAgreement);
    REQUIRE(client.state() == Rfc2217Client::State::Ready);
    const auto received = client.take(Rfc2217Client::escape(input));
    REQUIRE(received.data == input);
    REQUIRE(received.reply.empty());
    REQUIRE(client.state() == Rfc2217Client::State::Ready);
}

// A server that sends the same bytes forever: replies never outgrow what it sent.
void CheckFlood(std::string_view input) {
    Rfc2217Client client;
    client.opening();
    std::size_t sent = 0;
    std::size_t replied = 0;
    for (int round = 0; round < 32; ++round) {
        const Outcome outcome = Feed(client, input, input.size() + 1);
        sent += input.size();
        replied += outcome.reply.size();
        REQUIRE(outcome.data.size() <= input.size());
        REQUIRE(replied <= sent + kSettingsSize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t split = (data[0] | std::size_t(data[1]) << 8) % (input.size() + 1);
    CheckChunking(input, split);
    CheckRoundTrip(input);
    CheckFlood(input);
    return 0;
}
