#pragma once
// The texts of the about box, built from the application title and the
// program's version numbers.

#include "platform/bytes.h"

namespace keldor::ui {

struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// The version of this build (1.0.32).
ProgramVersion programVersion();

// "Keldor システム情報："
Text aboutTitleLine(TextView title);

// "　Keldor のバージョン： 1.0.32" (led by one ideographic space; decimal
// numbers without leading zeros).
Text aboutVersionLine(TextView title, const ProgramVersion& version);

// The description: the version line and three paragraphs, each pair joined
// by CR LF CR LF, with no line break after the last.
Text aboutDescription(TextView title, const ProgramVersion& version);

// The rights line and the legal notice.
Text aboutRightsLine();
Text aboutDisclaimer();

} // namespace keldor::ui
