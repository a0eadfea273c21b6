#pragma once

// Qt's bytes seen by the plain C++ libraries (the protocol, RFC 2217, sequences), without a copy.

#include <QByteArray>

#include <string_view>

namespace quillon {

inline std::string_view ByteView(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace quillon
