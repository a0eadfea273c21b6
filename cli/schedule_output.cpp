#include "schedule_output.h"

#include "command_line.h"
#include "wave.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace quillon::cli {

namespace {

// A reader that stops reading wants no more: that is the end, not a failure.
int Failed(int error) {
    if (error == EPIPE)
        return kSent;
    std::fputs(("quillon-send: cannot write to standard output: " +
                std::string(std::strerror(error)) + '\n')
                   .c_str(),
               stderr);
    return kPortTrouble;
}

} // namespace

int WriteSchedule(const sequence::Schedule& schedule, ScheduleForm form, std::FILE* out) {
    sequence::ScheduleText text(schedule);
    for (std::size_t index = 0; index < schedule.size(); ++index) {
        const std::string lines = form == ScheduleForm::Sequence
                                      ? text.lines(index)
                                      : sequence::DisplayFrame(schedule.frame(index)) + '\n';
        if (std::fwrite(lines.data(), 1, lines.size(), out) != lines.size())
            return Failed(errno);
    }
    if (std::fflush(out) != 0)
        return Failed(errno);
    return kSent;
}

} // namespace quillon::cli
