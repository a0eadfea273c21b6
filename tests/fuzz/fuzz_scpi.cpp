// libFuzzer target for SCPI, the text any client on the network may send. Whatever comes, every
// reply is whole lines of printable ASCII, bounded by the input that asked for them; the
// session's buffers and error queue stay within their limits; frames handed on are the board's.

#include "command_words.h"
#include "commands.h"
#include "frame_layout.h"
#include "fuzz_require.h"
#include "session.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace quillon::scpi;

// A link that takes, refuses or has no port, as the input's first byte says, and whose frames
// are still on the line until the session is told otherwise.
class FuzzSink : public FrameSink {
public:
    explicit FuzzSink(std::uint8_t mode) : m_mode(mode) {}

    SendOutcome send(const quillon::sequence::Frame& frame) override {
        // Every frame is one a sequence could send again: the board's, whole.
        REQUIRE(quillon::CommandWords(frame.bytes).has_value());
        pending = true;
        switch (m_mode++ % 3) {
        case 0:
            return {SendOutcome::Kind::Queued, {}};
        case 1:
            return {SendOutcome::Kind::Refused, std::string(300, '"')};
        default:
            return {SendOutcome::Kind::NoPort, {}};
        }
    }
    bool framesPending() const override { return pending; }

    bool pending = false;

private:
    std::uint8_t m_mode;
};

// Replies are lines of printable ASCII, each ended by LF, none longer than a reply can be.
void CheckReplies(std::string_view replies) {
    REQUIRE(replies.empty() || replies.back() == '\n');
    std::size_t lineLength = 0;
    for (const char c : replies) {
        if (c == '\n') {
            REQUIRE(lineLength > 0);
            lineLength = 0;
            continue;
        }
        REQUIRE(c >= 0x20 && c < 0x7F);
        ++lineLength;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    FuzzSink sink(data[0]);
    const std::size_t chunk = 1 + data[1] % 64;
    const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);
    ChannelReadback readback;
    Session session(sink, readback, "0.1.0");

    std::size_t replied = 0;
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        std::string replies = session.receive(input.substr(at, chunk));
        // A held client goes on once its frames are out, as the server tells it.
        if (session.isHeld() || (at / chunk) % 3 == 0) {
            sink.pending = false;
            replies += session.framesDone();
        }
        CheckReplies(replies);
        replied += replies.size();
        REQUIRE(session.status().queuedErrors() <= StatusModel::kQueueLength);
        REQUIRE(session.bufferedBytes() <=
                LineAssembler::kLongestLine + Session::kLongestHeldInput);
    }
    // The longest answer (an error with its reason) is asked for by a query of 9 bytes.
    REQUIRE(replied <= 16 * (input.size() + 1));
    return 0;
}
