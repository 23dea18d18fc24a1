#pragma once
// Where Outlook Express keeps each identity's mailbox files, and which
// folder to propose for the output, as the per-user registry records them.
// Read once at start-up; nothing is re-read and nothing is written.

#include "platform/registry_reader.h"

#include <cstddef>
#include <vector>

namespace keldor::startup {

struct Identity {
    Text name;        // the display name (value "Username"); empty when missing
    Text storeFolder; // the folder of the identity's .dbx files on this system; empty when missing
    Text storeRoot;   // that folder as the registry gives it, placeholders expanded
};

struct Identities {
    // One entry per identity key, in enumeration order; never empty (a
    // registry without identities gives one entry with empty texts).
    std::vector<Identity> entries{Identity{}};
    // The identity Outlook Express starts as; 0 when none matches.
    std::size_t defaultIndex = 0;

    [[nodiscard]] const Identity& defaultIdentity() const { return entries.at(defaultIndex); }
};

struct MailStores {
    Identities identities;
    Text defaultOutputFolder; // the documents folder, without a trailing backslash
    Text systemDrivePath;     // first three characters of the Windows folder, e.g. C:\ .
    Text userProfilePath; // application-data folder less its last component, e.g. C:\Documents and
                          // Settings\taro\ .
};

// Program-wide results of discovery; filled once by discoverMailStores()
// before the main window exists, only read afterwards.
extern Identities IdentityList;
extern Text DefaultOutputFolder;
extern Text SystemDrivePath;
extern Text UserProfilePath;

// Reads the identities, their store folders and the documents folder.
// Every failure gives empty texts; never shows or reports anything.
MailStores discoverMailStores(const platform::RegistryReader& registry,
                              const platform::SystemFolders& folders);

// The same from this system's registry, into the program-wide values.
void discoverMailStores();

// The identity's Deleted Items mailbox: its store folder joined with
// "削除済みアイテム.dbx" (just the separator and the name when the folder is
// empty, which the run then fails to open with its own message).
Text deletedItemsPath(const Identity& identity);

// %SystemDrive% and %UserProfile% (exact case) replaced by the two paths,
// then every doubled backslash made single, each over the whole text, left to
// right, without searching inserted text again.
Text expandStorePlaceholders(TextView path, TextView systemDrivePath, TextView userProfilePath);

// Every non-overlapping `from`, left to right, replaced by `to`.
Text replaceAll(TextView text, TextView from, TextView to);

} // namespace keldor::startup
