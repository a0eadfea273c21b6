#pragma once

// quillon-send's messages: one line each on standard error, after the program's name.

#include <QString>

#include <string>

namespace quillon::cli {

void Say(const std::string& message);
void Say(const QString& message);

} // namespace quillon::cli
