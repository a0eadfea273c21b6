#include "say.h"

#include <cstdio>

namespace quillon::cli {

void Say(const std::string& message) {
    std::fputs(("quillon-send: " + message + '\n').c_str(), stderr);
}

void Say(const QString& message) {
    Say(message.toLocal8Bit().toStdString());
}

} // namespace quillon::cli
