// The registry and the Windows folders on Linux, taken from a Wine prefix or
// from a registry export.

#include "platform/linux/wine_setup.h"

#include "platform/case_fold.h"
#include "platform/text.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace keldor::platform {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> environment(const char *name) {
    const char *value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// The whole file, or nullopt when it cannot be read. Opened for reading only.
std::optional<Bytes> readWholeFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Bytes contents;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        contents.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return contents;
}

std::optional<Text> stringValue(const RegistryReader &registry, RegistryRoot root, TextView keyPath,
                                TextView name) {
    const auto value = registry.readValue(root, keyPath, name);
    if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) {
        return std::nullopt;
    }
    return value->text.substr(0, value->text.find(u'\0'));
}

// The value of XDG_DOCUMENTS_DIR in a user-dirs.dirs file: "$HOME/..." or an
// absolute path, in double quotes, with \ escaping the next character.
std::optional<fs::path> xdgDocumentsDir(const fs::path &configHome, const fs::path &home) {
    const auto contents = readWholeFile(configHome / "user-dirs.dirs");
    if (!contents) {
        return std::nullopt;
    }
    std::optional<fs::path> found;
    std::size_t start = 0;
    while (start < contents->size()) {
        std::size_t end = contents->find('\n', start);
        if (end == std::string::npos) {
            end = contents->size();
        }
        std::string_view line(contents->data() + start, end - start);
        start = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        constexpr std::string_view key = "XDG_DOCUMENTS_DIR=\"";
        if (line.substr(0, key.size()) != key) {
            continue;
        }
        std::string value;
        bool closed = false;
        for (std::size_t i = key.size(); i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                value += line[++i];
            } else if (line[i] == '"') {
                closed = true;
                break;
            } else {
                value += line[i];
            }
        }
        if (!closed) {
            continue;
        }
        constexpr std::string_view homeVariable = "$HOME";
        if (value.substr(0, homeVariable.size()) == homeVariable &&
            (value.size() == homeVariable.size() || value[homeVariable.size()] == '/')) {
            std::string rest = value.substr(homeVariable.size());
            while (!rest.empty() && rest.front() == '/') {
                rest.erase(0, 1);
            }
            found = rest.empty() ? home : home / rest;
        } else if (!value.empty() && value.front() == '/') {
            found = fs::path(value);
        }
    }
    if (found) {
        std::string text = found->string();
        while (text.size() > 1 && text.back() == '/') {
            text.pop_back();
        }
        found = fs::path(text);
    }
    return found;
}

} // namespace

WineSetup wineSetupFromEnvironment() {
    WineSetup setup;
    if (const auto home = environment("HOME")) {
        setup.home = *home;
    } else if (const passwd *entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        setup.home = entry->pw_dir;
    }
    setup.prefix = environment("WINEPREFIX").value_or((setup.home / ".wine").string());
    if (const auto exported = environment("KELDOR_REGISTRY")) {
        setup.registryExport = fs::path(*exported);
    }
    setup.configHome = environment("XDG_CONFIG_HOME").value_or((setup.home / ".config").string());
    return setup;
}

std::unique_ptr<RegistryFile> loadWineRegistry(const WineSetup &setup) {
    auto registry = std::make_unique<RegistryFile>();
    const auto loadFile = [&](const fs::path &file, RegistryRoot root) {
        if (const auto contents = readWholeFile(file)) {
            registry->load(*contents, root);
        }
    };
    if (setup.registryExport) {
        loadFile(*setup.registryExport, RegistryRoot::CurrentUser);
    } else {
        loadFile(setup.prefix / "user.reg", RegistryRoot::CurrentUser);
        loadFile(setup.prefix / "system.reg", RegistryRoot::LocalMachine);
    }
    return registry;
}

WineFolders::WineFolders(WineSetup setup, const RegistryReader &registry)
    : setup_(std::move(setup)), registry_(registry) {}

Text WineFolders::windowsFolder() const {
    return stringValue(registry_, RegistryRoot::LocalMachine,
                       u"Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot")
        .value_or(u"C:\\windows");
}

Text WineFolders::appDataFolder() const {
    return stringValue(registry_, RegistryRoot::CurrentUser,
                       u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       u"AppData")
        .value_or(Text());
}

std::optional<Text> WineFolders::localFolder(TextView registryPath) const {
    if (!registryPath.empty() && registryPath.front() == u'/') {
        return Text(registryPath);
    }
    const bool hasDrive = registryPath.size() >= 2 && registryPath[1] == u':' &&
                          ((registryPath[0] >= u'a' && registryPath[0] <= u'z') ||
                           (registryPath[0] >= u'A' && registryPath[0] <= u'Z'));
    if (!hasDrive || (registryPath.size() > 2 && registryPath[2] != u'\\')) {
        return std::nullopt; // no drive, or a drive-relative path
    }
    const Text drive = foldCase(registryPath.substr(0, 2));
    std::error_code error;
    fs::path folder = fs::canonical(setup_.prefix / "dosdevices" / toPath(drive), error);
    if (error) {
        return std::nullopt;
    }

    // Windows does not tell letter case apart in file names; the folders
    // under the prefix are spelled as Wine or the user created them.
    std::size_t start = 3;
    while (start < registryPath.size()) {
        std::size_t end = registryPath.find(u'\\', start);
        if (end == TextView::npos) {
            end = registryPath.size();
        }
        const TextView component = registryPath.substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            continue;
        }
        fs::path next = folder / toPath(component);
        if (!fs::exists(next, error)) {
            const Text wanted = foldCase(component);
            for (fs::directory_iterator it(folder, error), last; !error && it != last;
                 it.increment(error)) {
                const fs::path name = it->path().filename();
                if (foldCase(pathText(name)) == wanted) {
                    next = folder / name;
                    break;
                }
            }
            error.clear();
        }
        folder = next;
    }
    return pathText(folder);
}

Text WineFolders::fallbackDocumentsFolder() const {
    if (const auto documents = xdgDocumentsDir(setup_.configHome, setup_.home)) {
        return pathText(*documents);
    }
    std::error_code error;
    if (!setup_.home.empty() && fs::is_directory(setup_.home / "Documents", error)) {
        return pathText(setup_.home / "Documents");
    }
    return pathText(setup_.home);
}

std::unique_ptr<RegistryReader> openUserRegistry() {
    return loadWineRegistry(wineSetupFromEnvironment());
}

std::unique_ptr<SystemFolders> openSystemFolders(const RegistryReader &registry) {
    return std::make_unique<WineFolders>(wineSetupFromEnvironment(), registry);
}

} // namespace keldor::platform
