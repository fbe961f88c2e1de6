#include "effects/EffectPresets.h"

#include <algorithm>
#include <cctype>

#include "platform/ConfigPaths.h"

namespace {

constexpr const char* kVersionKey = "VERSION";
constexpr const char* kVersion = "1.0";
constexpr const char* kDelayDefault = "DELAYDEFAULT";
constexpr const char* kFadeDefault = "FADEDEFAULT";
constexpr const char* kDistortionDefault = "DISTORTIONDEFAULT";
constexpr const char* kEqualizeDefault = "EQUALIZEDEFAULT";
constexpr const char* kPageSection = "PAGE";
constexpr const char* kPageKey = "LASTPAGE";

const char* const kBandKeys[10] = {"E0", "E1", "E2", "E3", "E4", "E5", "E6", "E7", "E8", "E9"};

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// Writes key/value pairs in order, stopping at the first failure; the file takes the whole
// section in one write at Ok, or nothing.
class TSectionWriter {
  public:
    TSectionWriter(TProfileFile& file, std::string section)
        : file_(file), section_(std::move(section)), batch_(file_) {
        ok_ = file_.WriteString(section_, kVersionKey, kVersion);
    }
    TSectionWriter& Int(const char* key, int32_t v) {
        ok_ = ok_ && file_.WriteInteger(section_, key, v);
        return *this;
    }
    TSectionWriter& Bool(const char* key, bool v) {
        ok_ = ok_ && file_.WriteBool(section_, key, v);
        return *this;
    }
    TSectionWriter& Text(const char* key, const std::string& v) {
        ok_ = ok_ && file_.WriteString(section_, key, v);
        return *this;
    }
    bool Ok() { return ok_ && batch_.Commit(); }

  private:
    TProfileFile& file_;
    std::string section_;
    TProfileBatch batch_;
    bool ok_;
};

} // namespace

void ReadEffectSection(TProfileFile& file, const std::string& name, TDelayParams& out) {
    const std::string s = std::string(TDelayParams::kWord) + name;
    const TDelayParams start;
    TDelayParams p;
    p.delay = file.ReadInteger(s, "DELAY", start.delay);
    p.feedback = file.ReadInteger(s, "FEEDBACK", start.feedback);
    p.feedbackPositive = file.ReadBool(s, "FEEDBACKPOSITIVE", start.feedbackPositive);
    p.dry = file.ReadInteger(s, "DRY", start.dry);
    p.dryPositive = file.ReadBool(s, "DRYPOSITIVE", start.dryPositive);
    p.wet = file.ReadInteger(s, "WET", start.wet);
    p.wetPositive = file.ReadBool(s, "WETPOSITIVE", start.wetPositive);
    p.function = file.ReadString(s, "FUNCTION", start.function);
    p.functionFrequency = file.ReadInteger(s, "FUNCTIONFREQUENCY", start.functionFrequency);
    p.functionDelay = file.ReadInteger(s, "FUNCTIONDELAY", start.functionDelay);
    Settle(p);
    out = p;
}

void ReadEffectSection(TProfileFile& file, const std::string& name, TFadeParams& out) {
    const std::string s = std::string(TFadeParams::kWord) + name;
    const TFadeParams start;
    TFadeParams p;
    p.left = file.ReadInteger(s, "LEFT", start.left);
    p.right = file.ReadInteger(s, "RIGHT", start.right);
    Settle(p);
    out = p;
}

void ReadEffectSection(TProfileFile& file, const std::string& name, TEqualizerParams& out) {
    const std::string s = std::string(TEqualizerParams::kWord) + name;
    const TEqualizerParams start;
    TEqualizerParams p;
    p.dry = file.ReadInteger(s, "DRY", start.dry);
    for (int k = 0; k < 10; ++k)
        p.bands[k] = file.ReadInteger(s, kBandKeys[k], start.bands[k]);
    Settle(p);
    out = p;
}

void ReadEffectSection(TProfileFile& file, const std::string& name, TDistortionParams& out) {
    const std::string s = std::string(TDistortionParams::kWord) + name;
    const TDistortionParams start;
    TDistortionParams p;
    p.upperThreshold = file.ReadInteger(s, "UPPERTHRESHOLD", start.upperThreshold);
    p.lowerThreshold = file.ReadInteger(s, "LOWERTHRESHOLD", start.lowerThreshold);
    p.clamp = file.ReadInteger(s, "CLAMP", start.clamp);
    p.dry = file.ReadInteger(s, "DRY", start.dry);
    p.dryPositive = file.ReadBool(s, "DRYPOSITIVE", start.dryPositive);
    p.wet = file.ReadInteger(s, "WET", start.wet);
    p.wetPositive = file.ReadBool(s, "WETPOSITIVE", start.wetPositive);
    Settle(p);
    out = p;
}

bool WriteEffectSection(TProfileFile& file, const std::string& name, const TDelayParams& p) {
    return TSectionWriter(file, std::string(TDelayParams::kWord) + name)
        .Int("DELAY", p.delay)
        .Int("FEEDBACK", p.feedback)
        .Bool("FEEDBACKPOSITIVE", p.feedbackPositive)
        .Int("DRY", p.dry)
        .Bool("DRYPOSITIVE", p.dryPositive)
        .Int("WET", p.wet)
        .Bool("WETPOSITIVE", p.wetPositive)
        .Text("FUNCTION", p.function)
        .Int("FUNCTIONFREQUENCY", p.functionFrequency)
        .Int("FUNCTIONDELAY", p.functionDelay)
        .Ok();
}

bool WriteEffectSection(TProfileFile& file, const std::string& name, const TFadeParams& p) {
    return TSectionWriter(file, std::string(TFadeParams::kWord) + name)
        .Int("LEFT", p.left)
        .Int("RIGHT", p.right)
        .Ok();
}

bool WriteEffectSection(TProfileFile& file, const std::string& name, const TEqualizerParams& p) {
    TSectionWriter w(file, std::string(TEqualizerParams::kWord) + name);
    w.Int("DRY", p.dry);
    for (int k = 0; k < 10; ++k)
        w.Int(kBandKeys[k], p.bands[k]);
    return w.Ok();
}

bool WriteEffectSection(TProfileFile& file, const std::string& name, const TDistortionParams& p) {
    return TSectionWriter(file, std::string(TDistortionParams::kWord) + name)
        .Int("UPPERTHRESHOLD", p.upperThreshold)
        .Int("LOWERTHRESHOLD", p.lowerThreshold)
        .Int("CLAMP", p.clamp)
        .Int("DRY", p.dry)
        .Bool("DRYPOSITIVE", p.dryPositive)
        .Int("WET", p.wet)
        .Bool("WETPOSITIVE", p.wetPositive)
        .Ok();
}

TLastEffectSettings ReadLastEffectSettings(TProfileFile& settings) {
    TLastEffectSettings last;
    ReadEffectSection(settings, kDelayDefault, last.delay);
    ReadEffectSection(settings, kFadeDefault, last.fade);
    ReadEffectSection(settings, kDistortionDefault, last.distortion);
    ReadEffectSection(settings, kEqualizeDefault, last.equalizer);
    const int32_t page = settings.ReadInteger(kPageSection, kPageKey, kPageDelay);
    last.page = page >= kPageEqualizer && page <= kPageDistortion ? page : kPageDelay;
    return last;
}

bool WriteLastEffectSettings(TProfileFile& settings, const TLastEffectSettings& last) {
    if (!EnsureParentFolder(settings.FileName())) return false;
    const int32_t page =
        last.page >= kPageEqualizer && last.page <= kPageDistortion ? last.page : kPageDelay;
    TProfileBatch batch(settings);
    return WriteEffectSection(settings, kDelayDefault, last.delay) &&
           WriteEffectSection(settings, kFadeDefault, last.fade) &&
           WriteEffectSection(settings, kDistortionDefault, last.distortion) &&
           WriteEffectSection(settings, kEqualizeDefault, last.equalizer) &&
           settings.WriteInteger(kPageSection, kPageKey, page) && batch.Commit();
}

std::string TrimPresetName(const std::string& name) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t from = 0, to = name.size();
    while (from < to && blank(name[from]))
        ++from;
    while (to > from && blank(name[to - 1]))
        --to;
    return name.substr(from, to - from);
}

std::string PresetNameProblem(const std::string& name) {
    if (TrimPresetName(name).empty()) return "Preset names cannot be empty.";
    const bool control = std::any_of(name.begin(), name.end(),
                                     [](unsigned char c) { return c < 0x20 && c != '\t'; });
    if (control || name.find_first_of("=]") != std::string::npos || name[0] == ';' ||
        name[0] == '[' || name != TrimPresetName(name))
        return "Preset names cannot contain \"=\", \"]\" or line breaks, or start with \";\" or "
               "\"[\".";
    return "";
}

TEffectPresets::TEffectPresets(std::string path) : file_(std::move(path)) {}

std::vector<std::string> TEffectPresets::List(const std::string& word) {
    return file_.ReadSection(word);
}

std::string TEffectPresets::Listed(const std::string& word, const std::string& name) {
    for (const std::string& listed : List(word))
        if (SameName(listed, name)) return listed;
    return "";
}

bool TEffectPresets::Fail(const std::string& text) {
    error_ = text;
    return false;
}

bool TEffectPresets::Prepare() {
    error_.clear();
    if (!EnsureParentFolder(file_.FileName()))
        return Fail("Cannot create the folder of " + file_.FileName());
    return true;
}

template <class P> bool TEffectPresets::SaveAny(const std::string& rawName, const P& p) {
    const std::string name = TrimPresetName(rawName);
    if (const std::string problem = PresetNameProblem(name); !problem.empty()) return Fail(problem);
    if (!Prepare()) return false;
    const std::string listed = Listed(P::kWord, name);
    // The section and the index reach the file together: it never names a half-saved preset.
    TProfileBatch batch(file_);
    if (!WriteEffectSection(file_, listed.empty() ? name : listed, p))
        return Fail(file_.LastError());
    if (listed.empty()) {
        std::vector<std::string> names = List(P::kWord);
        names.push_back(name);
        if (!RewriteIndex(P::kWord, names)) return false;
    }
    return batch.Commit() || Fail(file_.LastError());
}

bool TEffectPresets::RewriteIndex(const std::string& word, const std::vector<std::string>& names) {
    TProfileBatch batch(file_);
    if (!file_.EraseSection(word)) return Fail(file_.LastError());
    for (const std::string& n : names)
        if (!file_.WriteString(word, n, "")) return Fail(file_.LastError());
    if (names.empty()) {
        // Leave the section header standing, empty, as a list with no presets.
        const char* placeholder = "EMPTY";
        if (!file_.WriteString(word, placeholder, "") || !file_.DeleteKey(word, placeholder))
            return Fail(file_.LastError());
    }
    return batch.Commit() || Fail(file_.LastError());
}

bool TEffectPresets::Delete(const std::string& word, const std::string& name) {
    if (!Prepare()) return false;
    const std::string listed = Listed(word, name);
    TProfileBatch batch(file_);
    if (!file_.EraseSection(word + (listed.empty() ? name : listed)))
        return Fail(file_.LastError());
    if (!listed.empty()) {
        std::vector<std::string> names = List(word);
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [&](const std::string& n) { return SameName(n, listed); }),
                    names.end());
        if (!RewriteIndex(word, names)) return false;
    }
    return batch.Commit() || Fail(file_.LastError());
}

bool TEffectPresets::Reorder(const std::string& word, const std::vector<std::string>& names) {
    if (!Prepare()) return false;
    const std::vector<std::string> current = List(word);
    bool same = names.size() == current.size();
    for (std::size_t i = 0; same && i < names.size(); ++i) {
        const auto matches = [&](const std::string& n) { return SameName(n, names[i]); };
        same = std::count_if(current.begin(), current.end(), matches) == 1 &&
               std::count_if(names.begin(), names.end(), matches) == 1;
    }
    if (!same) return Fail("The preset list has changed; the new order was not saved.");
    std::vector<std::string> spelled;
    for (const std::string& n : names)
        spelled.push_back(Listed(word, n));
    return RewriteIndex(word, spelled);
}

template bool TEffectPresets::SaveAny(const std::string&, const TDelayParams&);
template bool TEffectPresets::SaveAny(const std::string&, const TFadeParams&);
template bool TEffectPresets::SaveAny(const std::string&, const TEqualizerParams&);
template bool TEffectPresets::SaveAny(const std::string&, const TDistortionParams&);
