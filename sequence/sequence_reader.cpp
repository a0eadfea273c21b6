#include "sequence_reader.h"

#include "quoted_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::sequence {

namespace {

const std::string kBytesBound = "more than " + std::to_string(kMaxSequenceBytes >> 20) + " MiB (" +
                                std::to_string(kMaxSequenceBytes) +
                                " bytes); a sequence holds at most that";
const std::string kLinesBound =
    "more than " + std::to_string(kMaxSequenceLines) + " lines; a sequence holds at most that";
const std::string kLineBound =
    "longer than " + std::to_string(kMaxLineBytes) + " bytes; a line holds at most that";

std::string LineRefusal(std::size_t lineNumber, const std::string& why) {
    return "line " + std::to_string(lineNumber) + ": " + why;
}

// Checks the bounds a reader can check byte by byte, as the text comes in.
class BoundsCheck {
public:
    // Throws the refusal for the first bound `chunk` passes.
    void take(std::string_view chunk) {
        m_bytes += chunk.size();
        if (m_bytes > kMaxSequenceBytes)
            throw Refusal(kBytesBound);
        for (const char c : chunk) {
            if (c == '\0')
                throw Refusal(LineRefusal(m_line, "a NUL byte; a sequence is text"));
            // A line counts once a byte of it has come: the newline that ends the last line
            // starts no line of its own.
            if (m_lineBytes == 0 && m_line > kMaxSequenceLines)
                throw Refusal(kLinesBound);
            if (c == '\n') {
                ++m_line;
                m_lineBytes = 0;
                continue;
            }
            if (++m_lineBytes > kMaxLineBytes)
                throw Refusal(LineRefusal(m_line, kLineBound));
        }
    }

private:
    std::size_t m_bytes = 0;
    std::size_t m_line = 1;
    std::size_t m_lineBytes = 0;
};

// The words of a line up to a '#' that starts a word: a comment may follow a command.
std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i < line.size() && line[i] == '#')
            break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

} // namespace

std::string ReadSequenceText(int fd, const std::string& name) {
    std::string text;
    BoundsCheck bounds;
    char buffer[64 * 1024];
    try {
        for (;;) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count == 0)
                return text;
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                throw Refusal(std::string("cannot read: ") + std::strerror(errno));
            }
            const std::string_view chunk(buffer, std::size_t(count));
            bounds.take(chunk);
            text.append(chunk);
        }
    } catch (const Refusal& refusal) {
        throw Refusal(name.empty() ? std::string(refusal.what()) : name + ": " + refusal.what());
    }
}

std::string ReadSequenceFile(const std::string& path) {
    // Non-blocking, so that opening a pipe with no writer returns at once, to be refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Refusal(std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        throw Refusal("not a plain file");
    return ReadSequenceText(fd, {});
}

std::vector<Step> ParseSequence(std::string_view text) {
    // Windows editors start a UTF-8 file with a byte-order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    std::vector<Step> steps;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        if (lineNumber > kMaxSequenceLines)
            throw Refusal(kLinesBound);
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.size() > kMaxLineBytes)
            throw Refusal(LineRefusal(lineNumber, kLineBound));
        if (line.find('\0') != std::string_view::npos)
            throw Refusal(LineRefusal(lineNumber, "a NUL byte; a sequence is text"));
        if (!IsValidUtf8(line))
            throw Refusal(LineRefusal(lineNumber, "text that is not UTF-8"));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string> words = Words(line);
        if (words.empty())
            continue;
        try {
            steps.push_back(ParseSequenceCommand(words));
        } catch (const Refusal& refusal) {
            throw Refusal(LineRefusal(lineNumber, refusal.what()));
        }
    }
    return steps;
}

} // namespace quillon::sequence
