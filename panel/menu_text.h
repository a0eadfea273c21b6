#pragma once

#include <QString>

namespace quillon {

// A text as a menu's title or item shows it: a menu would take "&" as the mark of a shortcut
// letter.
inline QString MenuText(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

} // namespace quillon
