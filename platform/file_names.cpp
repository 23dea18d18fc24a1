#include "platform/file_names.h"

#include "platform/case_fold.h"
#include "platform/text.h"

#include <array>

#ifdef _WIN32
#include "platform/win/win32.h"
#endif

namespace keldor::platform {

namespace {

constexpr std::u16string_view kForbidden = u"\\/:*?\"<>|";

// Windows opens the device, not a file, for these names, whatever extension follows.
constexpr std::array<std::u16string_view, 22> kDeviceNames = {
    u"con",  u"prn",  u"aux",  u"nul",  u"com1", u"com2", u"com3", u"com4",
    u"com5", u"com6", u"com7", u"com8", u"com9", u"lpt1", u"lpt2", u"lpt3",
    u"lpt4", u"lpt5", u"lpt6", u"lpt7", u"lpt8", u"lpt9",
};

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// True where names are stored as UTF-8.
bool utf8Names() {
#ifdef _WIN32
    static const bool onWine = win::runsOnWine();
    return onWine;
#else
    return true;
#endif
}

// The length the file system counts for a name.
std::size_t storedLength(TextView name) {
#ifdef _WIN32
    // Under Wine the names land on a Linux file system, which counts UTF-8
    // bytes, and Wine cuts a longer name silently (the extension with it).
    return utf8Names() ? toUtf8(name).size() : name.size();
#else
    return toUtf8(name).size();
#endif
}

bool isDeviceName(TextView name) {
    // The part before the first dot, without trailing blanks, in any case.
    TextView base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') {
        base.remove_suffix(1);
    }
    if (base.size() < 3 || base.size() > 4) {
        return false;
    }
    const Text lower = foldCase(base);
    for (const std::u16string_view device : kDeviceNames) {
        if (lower == device) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isRefusedFileName(TextView name) {
    if (name.empty() || name.back() == u' ' || name.back() == u'.') {
        return true;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c < 0x20 || kForbidden.find(c) != TextView::npos) {
            return true;
        }
        // UTF-8 names (on Linux, and under Wine) cannot hold half a surrogate pair.
        if (utf8Names()) {
            if (isHighSurrogate(c) && i + 1 < name.size() && isLowSurrogate(name[i + 1])) {
                ++i;
            } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
                return true;
            }
        }
    }
    return isDeviceName(name) || storedLength(name) > kMaxFileNameLength;
}

Text fitFileName(TextView stem, TextView ending) {
    Text name = Text(stem) + Text(ending);
    if (storedLength(name) <= kMaxFileNameLength) {
        return name;
    }
    const std::size_t endingLength = storedLength(ending);
    std::size_t kept = 0;
    std::size_t length = 0;
    while (kept < stem.size()) {
        const std::size_t unitCount =
            isHighSurrogate(stem[kept]) && kept + 1 < stem.size() && isLowSurrogate(stem[kept + 1])
                ? 2
                : 1;
        const std::size_t charLength = storedLength(stem.substr(kept, unitCount));
        if (length + charLength + endingLength > kMaxFileNameLength) {
            break;
        }
        length += charLength;
        kept += unitCount;
    }
    return Text(stem.substr(0, kept)) + Text(ending);
}

} // namespace keldor::platform
