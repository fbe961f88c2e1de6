// Persistence of effect parameters: one parameter set per profile-file section (effect word
// + name), the named presets of the preset file with their four index sections, and the
// dialog's last settings in the settings file. No Qt; one thread at a time per object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effects/EffectParams.h"
#include "platform/ProfileFile.h"

// Reads the section record.kWord + name. Never fails: a missing file, section or key, or a
// value that is not a number, gives the start value; every value is then settled into its
// slider's range and the dialog's invariants (see Settle).
void ReadEffectSection(TProfileFile& file, const std::string& name, TDelayParams& out);
void ReadEffectSection(TProfileFile& file, const std::string& name, TFadeParams& out);
void ReadEffectSection(TProfileFile& file, const std::string& name, TEqualizerParams& out);
void ReadEffectSection(TProfileFile& file, const std::string& name, TDistortionParams& out);

// Writes "VERSION" "1.0" and then the effect's keys in their fixed order to the section
// word + name, replacing values in place. False (file.LastError() says why) on a failed write.
bool WriteEffectSection(TProfileFile& file, const std::string& name, const TDelayParams& p);
bool WriteEffectSection(TProfileFile& file, const std::string& name, const TFadeParams& p);
bool WriteEffectSection(TProfileFile& file, const std::string& name, const TEqualizerParams& p);
bool WriteEffectSection(TProfileFile& file, const std::string& name, const TDistortionParams& p);

// Pages of the effects dialog, as stored in "LASTPAGE".
enum TEffectPage : int32_t {
    kPageEqualizer = 0,
    kPageDelay = 1,
    kPageFade = 2,
    kPageDistortion = 3,
};

// The dialog's state as remembered in the settings file between sessions.
struct TLastEffectSettings {
    TDelayParams delay;
    TFadeParams fade;
    TEqualizerParams equalizer;
    TDistortionParams distortion;
    int32_t page = kPageDelay; // a stored page outside 0..3 reads as the Delay page
};

// Sections DELAYDELAYDEFAULT, FADEFADEDEFAULT, DISTORTIONDISTORTIONDEFAULT and
// EQUALIZEEQUALIZEDEFAULT, in that order, then "PAGE" "LASTPAGE".
TLastEffectSettings ReadLastEffectSettings(TProfileFile& settings);
// Same order; creates the file's folder when missing. False on the first failed write.
bool WriteLastEffectSettings(TProfileFile& settings, const TLastEffectSettings& last);

// Leading and trailing blanks of a preset name are dropped; they would not read back.
std::string TrimPresetName(const std::string& name);
// Why a (trimmed) preset name cannot be used, or "" when it can: the name must not be empty
// and must read back as written as a key and inside a section name.
std::string PresetNameProblem(const std::string& name);

// The preset file "EffectsPreset.Ini": an index section per effect word listing the preset
// names in the dialog's order, and one section per preset. Every change reaches the file at
// once; the file and its folder are created by the first change.
class TEffectPresets {
  public:
    explicit TEffectPresets(std::string path);

    const std::string& Path() const { return file_.FileName(); }
    TProfileFile& File() { return file_; }
    // Why the last failed change failed.
    const std::string& LastError() const { return error_; }

    // The names of the index section of `word`, in file order.
    std::vector<std::string> List(const std::string& word);
    // The listed spelling of `name` (compared without regard to case), or "" when unlisted.
    std::string Listed(const std::string& word, const std::string& name);

    template <class P> void Load(const std::string& name, P& out) {
        ReadEffectSection(file_, name, out);
    }

    // Writes the preset's section; a new name is appended to the end of the index, an
    // existing one (any letter case) keeps its place and its listed spelling. The name is
    // trimmed first; a name that would not read back is refused with a message.
    bool Save(const std::string& name, const TDelayParams& p) { return SaveAny(name, p); }
    bool Save(const std::string& name, const TFadeParams& p) { return SaveAny(name, p); }
    bool Save(const std::string& name, const TEqualizerParams& p) { return SaveAny(name, p); }
    bool Save(const std::string& name, const TDistortionParams& p) { return SaveAny(name, p); }

    // Erases the preset's section and takes it out of the index; the index section stays,
    // empty when it was the last preset.
    bool Delete(const std::string& word, const std::string& name);
    // Rewrites the index in the given order; preset sections are not touched. Refused unless
    // `names` holds exactly the listed names (any letter case), each once.
    bool Reorder(const std::string& word, const std::vector<std::string>& names);

  private:
    template <class P> bool SaveAny(const std::string& name, const P& p);
    bool RewriteIndex(const std::string& word, const std::vector<std::string>& names);
    bool Prepare();
    bool Fail(const std::string& text);

    TProfileFile file_;
    std::string error_;
};
