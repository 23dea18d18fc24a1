#include "engine/header_line_repair.h"

#include "platform/case_fold.h"
#include "platform/text.h"
#include "repair/line_edit.h"
#include "repair/lost_byte.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace keldor::engine {

namespace {

using repair::kLost;

} // namespace

void keepFieldName(Bytes& line, unsigned halfWidth) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t') {
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == Bytes::npos) {
        return;
    }
    const bool nameByte = halfWidth > 0x20 && halfWidth < 0x7F && halfWidth != ':';
    for (std::size_t i = 0; i < colon; ++i) {
        const unsigned c = byteAt(line, i);
        if (c != 0 && (c <= 0x20 || c >= 0x7F)) {
            return; // not a field name
        }
    }
    std::replace(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), kLost,
                 nameByte ? toByte(halfWidth) : '-');
}

void restoreFieldColon(Bytes& line) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t' || line.find(':') != Bytes::npos) {
        return;
    }
    const std::size_t lost = line.find(kLost);
    if (lost == Bytes::npos || lost == 0) {
        return;
    }
    for (std::size_t i = 0; i < lost; ++i) {
        const unsigned c = byteAt(line, i);
        if (c <= 0x20 || c >= 0x7F) {
            return;
        }
    }
    line[lost] = ':';
}

void restoreHeaderLineBreaks(Bytes& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != kLost) {
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '\n') {
            line[i] = '\r';
        } else if (i > 0 && line[i - 1] == '\r') {
            line[i] = '\n';
        }
    }
}

bool continuesHeader(ByteView text) {
    static constexpr std::array<std::string_view, 9> kParameters = {
        "charset=",    "filename=", "name=", "boundary=",     "format=",
        "reply-type=", "delsp=",    "size=", "creation-date="};
    const std::size_t colon = text.find(':');
    if (colon != ByteView::npos && text.substr(0, colon).find_first_of(" \t") == ByteView::npos) {
        return true;
    }
    // At least the last letter of the name survives: a run of four bytes
    // cannot take a tab and a whole parameter name.
    const std::size_t equals = text.find('=');
    if (equals == ByteView::npos || equals == 0) {
        return false;
    }
    const ByteView name = text.substr(0, equals + 1);
    for (const std::string_view parameter : kParameters) {
        if (parameter.ends_with(name)) {
            return true;
        }
    }
    return false;
}

void restoreBlankAfterEncoding(Bytes& line) {
    static constexpr std::array<std::string_view, 5> kEncodings = {"quoted-printable", "base64",
                                                                   "7bit", "8bit", "binary"};
    constexpr std::string_view kName = "content-transfer-encoding: ";
    if (line.size() < kName.size() + 4 || !line.ends_with(Bytes("\0\0\r\n", 4))) {
        return;
    }
    const ByteView value = ByteView(line).substr(kName.size(), line.size() - kName.size() - 4);
    for (std::size_t i = 0; i < kName.size(); ++i) {
        const unsigned c = byteAt(line, i);
        if (platform::foldedByte(c) != static_cast<unsigned char>(kName[i])) {
            return;
        }
    }
    for (const std::string_view encoding : kEncodings) {
        if (value.size() == encoding.size() &&
            std::equal(value.begin(), value.end(), encoding.begin(), [](char a, char b) {
                return platform::foldedByte(static_cast<unsigned char>(a)) ==
                       static_cast<unsigned char>(b);
            })) {
            line[line.size() - 4] = '\r';
            line[line.size() - 3] = '\n';
            return;
        }
    }
}

void restoreBlankBeforeBody(Bytes& line, bool base64) {
    constexpr std::size_t kShortestBase64 = 16;
    const std::size_t run = line.find(kLost);
    if (run == Bytes::npos) {
        return;
    }
    std::size_t end = run;
    while (end < line.size() && line[end] == kLost) {
        ++end;
    }
    const std::size_t contentEnd = repair::contentLength(line);
    if (end >= contentEnd) {
        return;
    }
    const ByteView rest = ByteView(line).substr(end, contentEnd - end);
    if (base64) {
        std::size_t body = 0;
        while (body < rest.size() && platform::base64DigitValue(byteAt(rest, body)) >= 0) {
            ++body;
        }
        while (body < rest.size() && rest[body] == '=') {
            ++body;
        }
        if (body < kShortestBase64 || body != rest.size()) {
            return;
        }
    } else if (continuesHeader(rest) || rest.find(kLost) != ByteView::npos) {
        return;
    }
    if (run == 0 && end >= 2) {
        line[0] = '\r';
        line[1] = '\n';
    } else if (run > 0 && end - run >= 4) {
        line.replace(run, 4, "\r\n\r\n");
    }
}

} // namespace keldor::engine
