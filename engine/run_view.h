#pragma once
// What a recovery run needs of the window that started it: the output
// location the user typed, the status area it drives, message boxes, and a
// chance for the window to handle pending input (Stop, the close box).

#include "platform/bytes.h"
#include "platform/event_point.h"

#include <cstdint>
#include <filesystem>

namespace keldor::engine {

// The steps of a run, as the run tells them to its view.
enum class RunPhase {
    Listing,   // finding the messages: the chain walk, the index tree, the scan
    Writing,   // writing (and repairing) the messages
    Renaming,  // the rename pass
    Reporting, // the status area restored; the run's closing message follows
};

// The status controls the run drives.
enum class StatusControl {
    Message,     // lblMessage: help line, and the record count of the chain walk
    Proc,        // lblProc: caption shown while messages are reassembled
    Rename,      // lblRename: caption shown while files are renamed
    Progress,    // prgStatus: progress bar, 0..100
    Percent,     // lblPercent: "p%"
    Status,      // lblStatus: "n通のメールを復元" / "n通のメールをリネーム"
    StartButton, // cmdStart
    StopButton,  // cmdStop
};

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class RunView : public platform::EventPoint {
public:
    // The text of txtEMLFolder: the folder under which the run's output folder is made.
    [[nodiscard]] virtual Text outputLocation() const = 0;

    virtual void setText(StatusControl control, const Text& text) = 0;
    virtual void setVisible(StatusControl control, bool visible) = 0;
    virtual void setProgress(int percent) = 0;
    virtual void setBusy(bool busy) = 0;

    // The phase the run is in and its progress, `done` of `total` (0 of 0
    // where the phase has no count). Told at the start of each phase and with
    // every change of progress; the status controls above show the same.
    virtual void showPhase(RunPhase phase, std::int64_t done, std::int64_t total) {
        (void)phase, (void)done, (void)total;
    }

    // A modal message box titled "Keldor".
    virtual MessageAnswer showMessage(const Text& text, MessageIcon icon,
                                      MessageButtons buttons) = 0;

    // Opens the folder for the user to browse (Explorer, the desktop's file manager).
    virtual void openFolder(const std::filesystem::path& folder) = 0;
};

// The status area as it stands before a run: the help line shown and empty,
// the run's labels and progress hidden, Start in place of Stop, no busy pointer.
inline void restoreStatusArea(RunView& view) {
    view.setText(StatusControl::Message, u"");
    view.setVisible(StatusControl::Message, true);
    view.setVisible(StatusControl::Rename, false);
    view.setVisible(StatusControl::Progress, false);
    view.setVisible(StatusControl::Percent, false);
    view.setVisible(StatusControl::Status, false);
    view.setVisible(StatusControl::StartButton, true);
    view.setVisible(StatusControl::StopButton, false);
    view.setBusy(false);
}

} // namespace keldor::engine
