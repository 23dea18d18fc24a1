#pragma once
// Where the registry and the Windows folders come from on Linux: a Wine
// prefix, or a registry export named by KELDOR_REGISTRY, with the folders of
// the registry's paths reached through the prefix's dosdevices/ links.

#include "platform/registry_file.h"

#include <filesystem>
#include <optional>

namespace keldor::platform {

struct WineSetup {
    std::filesystem::path prefix;                        // $WINEPREFIX, else ~/.wine
    std::optional<std::filesystem::path> registryExport; // $KELDOR_REGISTRY when set
    std::filesystem::path home;                          // $HOME, else the password entry's
    std::filesystem::path configHome;                    // $XDG_CONFIG_HOME, else ~/.config
};

WineSetup wineSetupFromEnvironment();

// The registry export when one is named, else the prefix's user.reg (the
// current user's keys) and system.reg (the machine's). Files that are
// missing or unreadable leave the registry empty.
std::unique_ptr<RegistryFile> loadWineRegistry(const WineSetup &setup);

class WineFolders : public SystemFolders {
public:
    WineFolders(WineSetup setup, const RegistryReader &registry);

    // SystemRoot of the machine's registry, else C:\windows as Wine has it.
    [[nodiscard]] Text windowsFolder() const override;
    // The AppData shell folder of the user's registry.
    [[nodiscard]] Text appDataFolder() const override;
    // "X:\a\b" through prefix/dosdevices/x: (each component matched without
    // regard to case when the exact spelling is not there); a path that
    // starts with "/" is taken as it is; anything else, or a drive without a
    // link, has no local place.
    [[nodiscard]] std::optional<Text> localFolder(TextView registryPath) const override;
    // The XDG documents folder: XDG_DOCUMENTS_DIR of user-dirs.dirs, else
    // ~/Documents when it exists, else the home folder.
    [[nodiscard]] Text fallbackDocumentsFolder() const override;

private:
    WineSetup setup_;
    const RegistryReader &registry_;
};

} // namespace keldor::platform
