// Scripted answers for a library that has no screen. Modal dialogs and file
// dialogs take the next queued answer that fits; with none they cancel, so
// a headless host never waits for a user. Process-wide and thread-safe.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tessel/tessel_export.h"

namespace Tessel {
class Dialog;
}

namespace Tessel::Headless {

struct DialogAnswer {
  // The layout file name the dialog was made from ("about.ui.kw"), or the
  // dialog's name from its layout; empty fits any dialog.
  std::u16string dialogName;
  // Element name -> value set before the dialog returns: the text of an
  // edit, label, combo box or button; "1"/"0" for a check box; a row index
  // for a list.
  std::map<std::u16string, std::u16string> values;
  // What DoModal returns: 1 for OK, 2 for cancel, or any other code.
  int result = 1;
};

TESSEL_API void QueueDialogAnswer(DialogAnswer answer);

// Paths a file dialog returns, in order; an empty list answers "cancel".
TESSEL_API void QueueFileDialogAnswer(std::vector<std::u16string> paths);

// Dialog and file-dialog answers not yet taken.
TESSEL_API int PendingAnswers();

// Drops all queued answers.
TESSEL_API void ClearAnswers();

// Removes and returns the first queued dialog answer whose name is empty or
// equal to one of `names`; nothing when none fits.
TESSEL_API std::optional<DialogAnswer> TakeDialogAnswer(const std::vector<std::u16string>& names);

// A front end that asks a person: called by a modal dialog that found no
// queued answer, after its init hook ran, on the thread that shows it; it
// may block until the person answers. Nothing from it cancels. Null for
// none (the default).
TESSEL_API void SetDialogProvider(std::function<std::optional<DialogAnswer>(Dialog&)> ask);
TESSEL_API std::optional<DialogAnswer> AskDialogProvider(Dialog& dialog);

// A front end that chooses files for a file dialog that found no queued
// answer: called with whether it opens, the title and the proposed name;
// nothing from it cancels. Null for none (the default).
using FileDialogProvider = std::function<std::optional<std::vector<std::u16string>>(
    bool open, const std::u16string& title, const std::u16string& defaultName)>;
TESSEL_API void SetFileDialogProvider(FileDialogProvider choose);
TESSEL_API std::optional<std::vector<std::u16string>> AskFileDialogProvider(bool open, const std::u16string& title,
                                                                             const std::u16string& defaultName);

// Removes and returns the first queued file-dialog answer.
TESSEL_API std::optional<std::vector<std::u16string>> TakeFileDialogAnswer();

// The screen scale reported by TesselUtils::GetScaleFactor; 1.0 by default.
// Values <= 0 are ignored.
TESSEL_API void SetScaleFactor(double factor);

// Names (layout file names) of the modal dialogs shown since the last call,
// oldest first; the log is emptied. For session transcripts and tests.
TESSEL_API std::vector<std::u16string> TakeShownDialogs();

// Adds to the log of TakeShownDialogs; called by Dialog::DoModal.
TESSEL_API void NoteDialogShown(const std::u16string& layoutFileName);

}  // namespace Tessel::Headless
