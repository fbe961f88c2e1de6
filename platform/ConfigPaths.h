// Where the per-user configuration files live: the settings file and the effects presets.
// Also the default folder for new track files.
// $WAVESTACK_CONFIG_DIR when set and not empty, else $XDG_CONFIG_HOME/wavestack/, else
// ~/.config/wavestack/. Read from the environment on every call; any thread.
#pragma once

#include <string>

// The configuration folder, always ending in "/". It may not exist yet.
std::string ConfigDir();
// ConfigDir() + "EffectsPreset.Ini".
std::string PresetFilePath();
// ConfigDir() + "wavestack.TXT": the settings file every form's layout shares.
std::string SettingsFilePath();
// The user's music folder + "Tracks/": XDG_MUSIC_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (else
// ~/.config/user-dirs.dirs) when it names an absolute folder, else $HOME/Music/.
std::string DefaultTracksFolder();
// Creates the folder holding `filePath`, with its missing parents (mode 0700 for new ones);
// true when it exists afterwards.
bool EnsureParentFolder(const std::string& filePath);
