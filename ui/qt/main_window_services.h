#pragma once
// What the main window takes from start-up: the defaults found by mail-store
// discovery, and the mailbox file picker. The entry routine fills one of
// these once; tests build their own.

#include "platform/bytes.h"

#include <functional>

class QWidget;

namespace keldor::ui {

struct MainWindowSetup {
    // userName of the identity Outlook Express starts with (may be empty).
    Text defaultIdentityName;
    // That identity's Deleted Items mailbox: its store folder joined with
    // "削除済みアイテム.dbx".
    Text defaultMailboxPath;
    // The first proposal for the output location (the documents folder).
    Text defaultOutputFolder;
    // Shows the mailbox file picker modally over the owner; returns the
    // chosen file, or the empty text when none was chosen.
    std::function<Text(QWidget* owner)> pickMailboxFile;
};

// Runs start-up discovery (mail stores, then the header-name table) and
// returns what the main window needs from it. Called once, by the entry
// routine, before the main window is made.
MainWindowSetup discoverMainWindowSetup();

} // namespace keldor::ui
