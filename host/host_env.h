// The host's view of its surroundings: where the application, data, user and
// configuration folders are, the user-interface language, and the preference
// store. One object per process, reached through Env().
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "host/pref_file.h"

namespace kshost {

class HostEnv {
 public:
  // The folder holding lang/ and ui/: $ANNOT_APP_DIR when set; else the
  // parent of the running executable's folder when that has a lang/
  // subfolder; else the source tree. Computed once per Reset().
  std::string appFolder();

  // appFolder() + "/ui": the dialog layout files.
  std::string uiFolder();

  // Per-user data: $XDG_DATA_HOME (or ~/.local/share) + "/annot". Not created.
  std::string appDataFolder();

  // Where the user's own documents go: $ANNOT_USER_DIR, else $HOME.
  std::string userFolder();

  // Language tag of the user interface (UTF-8), "en-US" unless set.
  std::string uiLanguage();
  void setUiLanguage(std::string language);

  // The number this host reports to plug-ins; fixed.
  int32_t hostNumber() const { return 1; }

  // Preferences, by (section, key). Sections may nest with backslashes
  // ("Annotation\Distance"); that is only a naming convention here. The
  // store is read from preferences.ini in the per-user settings folder,
  // $XDG_CONFIG_HOME (or ~/.config) + "/annot", on first use; a missing,
  // unreadable or malformed file gives an empty store. The folder is
  // created only when the preferences are first written.

  // The stored text, or nothing when the key is absent.
  std::optional<std::u16string> prefText(const std::u16string& section, const std::u16string& key);

  // The stored value as a 32-bit integer; nothing when absent or when the
  // stored text is not a plain decimal integer in range.
  std::optional<int32_t> prefInt(const std::u16string& section, const std::u16string& key);

  // Store a value and write the file at once (atomically). Return false when
  // the file could not be written; the in-memory value is kept either way, so
  // the session goes on with what the user chose. The file is read again
  // under a lock just before it is written and only the keys this process
  // set or removed are changed in it, so two processes never undo each
  // other's settings; a value equal to the stored one writes nothing.
  bool setPrefText(const std::u16string& section, const std::u16string& key, const std::u16string& value);
  bool setPrefInt(const std::u16string& section, const std::u16string& key, int32_t value);

  // Forget a value and write the file. Removing an absent key succeeds.
  bool removePref(const std::u16string& section, const std::u16string& key);

  // Forget all cached state: folders, language and preferences. The next
  // call reads the environment and the file again. For tests.
  void Reset();

 private:
  std::string configFolderLocked();
  std::string prefFileLocked();
  void loadLocked();
  bool saveLocked();

  std::mutex mutex_;
  std::optional<std::string> appFolder_;
  std::optional<std::string> appDataFolder_;
  std::optional<std::string> userFolder_;
  std::optional<std::string> configFolder_;
  std::optional<std::string> language_;
  bool loaded_ = false;
  bool fileWasMalformed_ = false;
  PrefMap prefs_;
  // What this process set (a value) or removed (nothing) and has not yet
  // written.
  std::map<std::pair<std::u16string, std::u16string>, std::optional<std::u16string>> changes_;
};

// The process-wide environment.
HostEnv& Env();

}  // namespace kshost
