#pragma once
// Text crosses into Qt and back unchanged: both are UTF-16.

#include "platform/bytes.h"

#include <QString>

namespace keldor::ui {

inline QString toQString(TextView text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline Text toText(const QString& text) {
    return text.toStdU16String();
}

} // namespace keldor::ui
