#pragma once

// A schedule written to standard output instead of the line: as a sequence that play sends the
// same (--print), or frame by frame as --dry-run shows frames.

#include "play_schedule.h"

#include <cstdio>

namespace quillon::cli {

enum class ScheduleForm { Sequence, DryRun };

// The exit status: 0 once written, also when the reader went away (`| head`); 1, with a
// message, when the output failed otherwise.
int WriteSchedule(const sequence::Schedule& schedule, ScheduleForm form, std::FILE* out);

} // namespace quillon::cli
