#include "tests/support/test_support.h"

#include "platform/text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace keldor::testing {

namespace {
unsigned long processId() {
#ifdef _WIN32
    return ::GetCurrentProcessId();
#else
    return static_cast<unsigned long>(::getpid());
#endif
}
} // namespace

TempDir::TempDir(const std::filesystem::path& base) {
    static std::atomic<int> counter{0};
    std::random_device seed;
    path_ = base / ("keldor-test-" + std::to_string(processId()) + "-" + std::to_string(counter++) +
                    "-" + std::to_string(seed()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path memoryBackedTemp() {
#ifndef _WIN32
    if (::access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
#endif
    return std::filesystem::temp_directory_path();
}

engine::RunSettings everyPoint() {
    engine::RunSettings settings;
    settings.pacing.interval = std::chrono::nanoseconds::zero();
    settings.keepFileList = true;
    return settings;
}

std::filesystem::path testDataPath(const std::string& relative) {
    return std::filesystem::path(KELDOR_TEST_DATA_DIR) / relative;
}

std::optional<std::filesystem::path> corpusPath(const std::string& relative) {
    const std::filesystem::path path = std::filesystem::path(KELDOR_CORPUS_DIR) / relative;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    return path;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<std::string> firstDifference(ByteView actual, ByteView expected) {
    const std::size_t common = std::min(actual.size(), expected.size());
    std::size_t at = 0;
    while (at < common && actual[at] == expected[at]) {
        ++at;
    }
    if (at == common && actual.size() == expected.size()) {
        return std::nullopt;
    }
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < at; ++i) {
        if (actual[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const auto show = [at](ByteView bytes) {
        if (at >= bytes.size()) {
            return std::string("<end>");
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", byteAt(bytes, at));
        return std::string(hex);
    };
    return "line " + std::to_string(line) + ", column " + std::to_string(at - lineStart + 1) +
           " (byte " + std::to_string(at) + "): actual " + show(actual) + ", expected " +
           show(expected);
}

void RecordingView::setText(engine::StatusControl control, const Text& text) {
    if (control == engine::StatusControl::Status) {
        statusTexts.push_back(text);
    } else if (control == engine::StatusControl::Message) {
        messageTexts.push_back(text);
    } else if (control == engine::StatusControl::Percent) {
        lastPercent = text;
    }
}

void RecordingView::setVisible(engine::StatusControl control, bool isVisible) {
    visible[static_cast<int>(control)] = isVisible;
}

void RecordingView::processEvents() {
    ++eventCount;
    if (onEvents) {
        onEvents(eventCount);
    }
}

engine::MessageAnswer RecordingView::showMessage(const Text& text, engine::MessageIcon icon,
                                                 engine::MessageButtons buttons) {
    messages.push_back({text, icon, buttons});
    return buttons == engine::MessageButtons::Ok ? engine::MessageAnswer::Ok : answer;
}

std::string utf8(const Text& text) {
    return platform::toUtf8(text);
}

std::string utf8Path(const std::filesystem::path& path) {
    return platform::toUtf8(platform::pathText(path));
}

std::filesystem::path pathFromUtf8(const std::string& utf8) {
    return platform::toPath(platform::fromUtf8(utf8));
}

#ifndef _WIN32

namespace {
std::string shellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}
} // namespace

CommandResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& scratch,
                         const EnvironmentChanges& environment) {
    std::string command = "env";
    for (const auto& [name, value] : environment) {
        command += value ? " " + name + "=" + shellQuote(*value) : " -u " + name;
    }
    command += " " + shellQuote(program.string());
    for (const std::string& arg : args) {
        command += " " + shellQuote(arg);
    }
    const auto errFile = scratch / "stderr.txt";
    command += " 2>" + shellQuote(errFile.string()) + " </dev/null";
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(errFile);
    return result;
}

ZoneScope::ZoneScope(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        saved_ = old;
    }
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ZoneScope::~ZoneScope() {
    if (saved_) {
        ::setenv("TZ", saved_->c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

FileStamps fileStamps(const std::filesystem::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return {st.st_atim.tv_sec, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, std::nullopt};
}

void setFileStamps(const std::filesystem::path& file, std::int64_t accessed,
                   std::int64_t modified) {
    const timespec times[2] = {{static_cast<time_t>(accessed), 0},
                               {static_cast<time_t>(modified), 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

#else

namespace {

std::wstring wide(const std::string& utf8) {
    const Text text = platform::fromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

// One argument as the C runtime splits a command line: quoted when it holds
// blanks or quotes, backslashes doubled before a quote.
std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// This process's environment with the changes, as CreateProcessW takes it.
std::wstring environmentBlock(const EnvironmentChanges& changes) {
    std::vector<std::wstring> entries;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += ::wcslen(entry) + 1) {
            entries.emplace_back(entry);
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : changes) {
        const std::wstring key = wide(name) + L"=";
        std::erase_if(entries, [&](const std::wstring& entry) {
            return ::_wcsnicmp(entry.c_str(), key.c_str(), key.size()) == 0;
        });
        if (value) {
            entries.push_back(key + wide(*value));
        }
    }
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

constexpr std::int64_t kEpochTicks = 116444736000000000; // 1601 to 1970 in 100 ns

std::int64_t unixSeconds(const FILETIME& time) {
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - kEpochTicks) / 10000000;
}

FILETIME fileTime(std::int64_t seconds) {
    const auto ticks = static_cast<std::uint64_t>(seconds * 10000000 + kEpochTicks);
    return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

CommandResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& scratch,
                         const EnvironmentChanges& environment) {
    CommandResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readOut = nullptr;
    HANDLE writeOut = nullptr;
    if (!::CreatePipe(&readOut, &writeOut, &inherit, 0)) {
        return result;
    }
    ::SetHandleInformation(readOut, HANDLE_FLAG_INHERIT, 0);
    // A file of its own for every run: Wine may close the last child's handle
    // on its stderr file a little after that child has been waited for.
    static std::atomic<int> runs{0};
    const std::filesystem::path errFile =
        scratch / ("stderr" + std::to_string(++runs) + ".txt");
    HANDLE err = ::CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    std::wstring commandLine = quoteArgument(program.wstring());
    for (const std::string& arg : args) {
        commandLine += L" " + quoteArgument(wide(arg));
    }
    std::wstring block = environmentBlock(environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = writeOut;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // Under Wine a start now and then fails for a moment; a few tries, then
    // the reason, so that a test that fails here says why.
    BOOL started = FALSE;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) {
            ::Sleep(200);
        }
        started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                   CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(),
                                   nullptr, &startup, &process);
        startError = started ? 0 : ::GetLastError();
    }
    ::CloseHandle(writeOut);
    ::CloseHandle(err);
    ::CloseHandle(in);
    if (!started) {
        ::CloseHandle(readOut);
        result.err = "could not start the program: error " + std::to_string(startError);
        return result;
    }
    std::array<char, 4096> buffer{};
    DWORD n = 0;
    while (::ReadFile(readOut, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr) &&
           n > 0) {
        result.out.append(buffer.data(), n);
    }
    ::CloseHandle(readOut);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) {
        result.status = static_cast<int>(code);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    result.err = readFile(errFile);
    std::error_code ignored;
    std::filesystem::remove(errFile, ignored);
    return result;
}

// Only a zone without daylight saving can be recognised from the system's
// zone information, and that is all the tests that run here need.
ZoneScope::ZoneScope(const char* tz) {
    const std::string zone(tz);
    const std::size_t sign = zone.find_first_of("+-0123456789");
    applied_ = false;
    if (sign == std::string::npos || zone.find(',') != std::string::npos) {
        return;
    }
    std::size_t end = sign;
    const int hours = std::stoi(zone.substr(sign), &end);
    if (sign + end != zone.size()) {
        return; // a daylight-saving part follows
    }
    TIME_ZONE_INFORMATION info{};
    const DWORD kind = ::GetTimeZoneInformation(&info);
    applied_ =
        kind != TIME_ZONE_ID_INVALID && info.Bias == hours * 60 && info.DaylightDate.wMonth == 0;
}

ZoneScope::~ZoneScope() = default;

FileStamps fileStamps(const std::filesystem::path& file) {
    FileStamps stamps;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        stamps.accessed = unixSeconds(data.ftLastAccessTime);
        stamps.modified = unixSeconds(data.ftLastWriteTime);
        const std::uint64_t ticks =
            (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime;
        stamps.modifiedNanoseconds = static_cast<std::int64_t>(ticks % 10000000) * 100;
        // Wine takes a creation time but keeps none on the Linux file system.
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") == nullptr) {
            stamps.created = unixSeconds(data.ftCreationTime);
        }
    }
    return stamps;
}

void setFileStamps(const std::filesystem::path& file, std::int64_t accessed,
                   std::int64_t modified) {
    HANDLE handle = ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    const FILETIME accessTime = fileTime(accessed);
    const FILETIME writeTime = fileTime(modified);
    ::SetFileTime(handle, &writeTime, &accessTime, &writeTime);
    ::CloseHandle(handle);
}

#endif

} // namespace keldor::testing
