#include "startup/mail_store_discovery.h"

#include "engine/recovery_run.h"
#include "startup/registry.h"

namespace keldor::startup {

Identities IdentityList;
Text DefaultOutputFolder;
Text SystemDrivePath;
Text UserProfilePath;

namespace {

using platform::RegistryRoot;

constexpr TextView kIdentitiesKey = u"Identities";
constexpr TextView kStoreKey = u"\\Software\\Microsoft\\Outlook Express\\5.0";
constexpr TextView kShellFoldersKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

Text readString(const platform::RegistryReader& registry, TextView keyPath, TextView name) {
    Text value;
    regReadString(registry, RegistryRoot::CurrentUser, keyPath, name, value);
    return value;
}

} // namespace

Text replaceAll(TextView text, TextView from, TextView to) {
    if (from.empty()) {
        return Text(text);
    }
    Text out;
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == TextView::npos) {
            out += text.substr(pos);
            return out;
        }
        out += text.substr(pos, hit - pos);
        out += to;
        pos = hit + from.size();
    }
}

Text expandStorePlaceholders(TextView path, TextView systemDrivePath, TextView userProfilePath) {
    Text expanded = replaceAll(path, u"%SystemDrive%", systemDrivePath);
    expanded = replaceAll(expanded, u"%UserProfile%", userProfilePath);
    // Both paths end in a backslash, and so leave a doubled one before the rest.
    return replaceAll(expanded, u"\\\\", u"\\");
}

MailStores discoverMailStores(const platform::RegistryReader& registry,
                              const platform::SystemFolders& folders) {
    MailStores stores;

    const Text windowsFolder = trimAtNul(folders.windowsFolder());
    stores.systemDrivePath = windowsFolder.substr(0, 3);

    const Text appData = trimAtNul(folders.appDataFolder());
    const std::size_t lastBackslash = appData.rfind(u'\\');
    if (lastBackslash != Text::npos) {
        stores.userProfilePath = appData.substr(0, lastBackslash + 1);
    }

    const std::vector<Text> keys =
        regListSubKeys(registry, RegistryRoot::CurrentUser, kIdentitiesKey);
    const Text startAs = readString(registry, kIdentitiesKey, u"Start As");

    Identities& identities = stores.identities;
    identities.entries.assign(keys.size(), Identity{});
    identities.defaultIndex = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == startAs) {
            identities.defaultIndex = i;
        }
        if (keys[i].empty()) {
            continue; // the stand-in entry of a registry without identities
        }
        Identity& identity = identities.entries[i];
        const Text identityKey = Text(kIdentitiesKey) + u"\\" + keys[i];
        identity.name = readString(registry, identityKey, u"Username");
        identity.storeRoot = expandStorePlaceholders(
            readString(registry, identityKey + Text(kStoreKey), u"Store Root"),
            stores.systemDrivePath, stores.userProfilePath);
        if (!identity.storeRoot.empty()) {
            identity.storeFolder =
                folders.localFolder(identity.storeRoot).value_or(identity.storeRoot);
        }
    }

    Text personal = readString(registry, kShellFoldersKey, u"Personal");
    personal = replaceAll(personal, u"%SystemDrive%", stores.systemDrivePath);
    personal = replaceAll(personal, u"%UserProfile%", stores.userProfilePath);
    if (!personal.empty() && personal.back() == u'\\') {
        personal.pop_back();
    }
    std::optional<Text> local;
    if (!personal.empty()) {
        local = folders.localFolder(personal);
    }
    stores.defaultOutputFolder =
        local && !local->empty() ? *local : folders.fallbackDocumentsFolder();
    return stores;
}

void discoverMailStores() {
    const auto registry = platform::openUserRegistry();
    const auto folders = platform::openSystemFolders(*registry);
    MailStores stores = discoverMailStores(*registry, *folders);
    IdentityList = std::move(stores.identities);
    DefaultOutputFolder = std::move(stores.defaultOutputFolder);
    SystemDrivePath = std::move(stores.systemDrivePath);
    UserProfilePath = std::move(stores.userProfilePath);
}

Text deletedItemsPath(const Identity& identity) {
    return engine::joinPath(identity.storeFolder, u"削除済みアイテム.dbx");
}

} // namespace keldor::startup
