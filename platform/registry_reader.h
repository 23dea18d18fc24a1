#pragma once
// Read-only access to the per-user registry, where Outlook Express records
// its identities and store folders. Nothing here writes to the registry.

#include "platform/bytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace keldor::platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

// Value types as the registry numbers them.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

struct RegistryValue {
    std::uint32_t type = kRegNone;
    // For the string types: the stored characters, NULs included, exactly
    // as stored (an expandable string is not expanded). Empty otherwise.
    Text text;
};

// Keys are opened for reading only, so a key the user may read counts as
// present even when it may not be written. Key and value names compare
// without regard to letter case, as the registry does.
class RegistryReader {
public:
    virtual ~RegistryReader() = default;

    // The names of the direct subkeys of `keyPath` ("A\B\C") in the order the
    // registry enumerates them; nullopt when the key cannot be opened.
    [[nodiscard]] virtual std::optional<std::vector<Text>> subKeyNames(RegistryRoot root,
                                                                       TextView keyPath) const = 0;

    // One value of a key; nullopt when the key or the value is missing.
    // `valueName` empty is the key's default value.
    [[nodiscard]] virtual std::optional<RegistryValue>
    readValue(RegistryRoot root, TextView keyPath, TextView valueName) const = 0;
};

// The folders the registry's programs see beside the registry itself, and
// how their paths are reached from this system.
class SystemFolders {
public:
    virtual ~SystemFolders() = default;

    // The Windows folder, for example C:\WINDOWS; empty when unknown.
    [[nodiscard]] virtual Text windowsFolder() const = 0;
    // The current user's application-data folder; empty when unknown.
    [[nodiscard]] virtual Text appDataFolder() const = 0;
    // A folder path as written in the registry, as a path of this system;
    // nullopt when it names no place reachable from here.
    [[nodiscard]] virtual std::optional<Text> localFolder(TextView registryPath) const = 0;
    // The documents folder to propose when the registry names none, or one
    // that cannot be reached; empty when there is none to propose.
    [[nodiscard]] virtual Text fallbackDocumentsFolder() const = 0;
};

// The current user's registry and folders as this system provides them.
// On Linux: a Wine prefix ($WINEPREFIX, default ~/.wine), or a registry
// export named by KELDOR_REGISTRY; an empty registry when neither exists.
// On Windows: the running system's registry and shell folders.
std::unique_ptr<RegistryReader> openUserRegistry();
std::unique_ptr<SystemFolders> openSystemFolders(const RegistryReader& registry);

} // namespace keldor::platform
