#include "app/cli/CliArgs.h"

#include <cctype>
#include <climits>
#include <map>
#include <set>

#include "audio/VelTrackUtils.h"
#include "effects/EffectParams.h"

namespace {

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A decimal integer with an optional sign that fits in 32 bits.
std::optional<int32_t> ParseInt(const std::string& s) {
    const bool negative = !s.empty() && s[0] == '-';
    const std::string digits = negative || (!s.empty() && s[0] == '+') ? s.substr(1) : s;
    if (!AllDigits(digits) || digits.size() > 10) return std::nullopt;
    const long long v = std::stoll(digits) * (negative ? -1 : 1);
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(v);
}

std::vector<std::string> Split(const std::string& s, char at) {
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    for (;;) {
        const auto to = s.find(at, from);
        parts.push_back(s.substr(from, to == std::string::npos ? to : to - from));
        if (to == std::string::npos) return parts;
        from = to + 1;
    }
}

std::optional<std::vector<int32_t>> ParseInts(const std::string& s, std::size_t count) {
    const auto parts = Split(s, ',');
    if (parts.size() != count) return std::nullopt;
    std::vector<int32_t> values;
    for (const auto& p : parts) {
        const auto v = ParseInt(p);
        if (!v) return std::nullopt;
        values.push_back(*v);
    }
    return values;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The time-edit mask's shape, "99:99.99999".
bool IsTimeText(const std::string& t) {
    return t.size() == 11 && AllDigits(t.substr(0, 2)) && t[2] == ':' &&
           AllDigits(t.substr(3, 2)) && t[5] == '.' && AllDigits(t.substr(6, 5));
}

// Options taking a value, and the commands that accept each.
const std::map<std::string, std::set<TCliCommand>>& ValueOptions() {
    using C = TCliCommand;
    static const std::map<std::string, std::set<TCliCommand>> options = {
        {"-o", {C::Edit, C::Convert, C::Effect}},
        {"--op", {C::Edit}},
        {"--sel", {C::Edit, C::Effect}},
        {"--play", {C::Edit, C::Effect}},
        {"--clip", {C::Edit}},
        {"--length", {C::Edit}},
        {"--format", {C::Convert}},
        {"--distortion", {C::Effect}},
        {"--fade", {C::Effect}},
        {"--eq", {C::Effect}},
        {"--delay", {C::Effect}},
        {"--preset", {C::Effect}},
    };
    return options;
}

bool SetEffect(TCliArgs& out, TCliEffect effect, std::string& error) {
    if (out.effect != TCliEffect::None) {
        error = "give exactly one of --distortion, --fade, --eq, --delay, --preset";
        return false;
    }
    out.effect = effect;
    return true;
}

bool TakeOption(const std::string& name, const std::string& value, TCliArgs& out,
                std::string& error) {
    const auto bad = [&](const std::string& what) {
        error = "bad value for " + name + ": \"" + value + "\" (" + what + ")";
        return false;
    };
    if (name == "-o") {
        if (value.empty()) return bad("a file name");
        out.output = value;
    } else if (name == "--op") {
        static const std::map<std::string, TCliEditOp> ops = {
            {"cut", TCliEditOp::Cut},       {"copy", TCliEditOp::Copy},
            {"clear", TCliEditOp::Clear},   {"delete", TCliEditOp::Delete},
            {"insert", TCliEditOp::Insert}, {"paste", TCliEditOp::Paste},
            {"total", TCliEditOp::Total}};
        const auto it = ops.find(value);
        if (it == ops.end()) return bad("cut, copy, clear, delete, insert, paste or total");
        out.op = it->second;
    } else if (name == "--sel") {
        out.selection = value;
    } else if (name == "--play") {
        out.play = value;
    } else if (name == "--clip") {
        if (value.empty()) return bad("a file name");
        out.clip = value;
    } else if (name == "--length") {
        if (!IsTimeText(value)) return bad("a time text MM:SS.FFFFF");
        out.length = value;
    } else if (name == "--format") {
        const auto v = ParseInts(value, 3);
        if (!v || (*v)[0] < 1 || (*v)[0] > 1000000 || ((*v)[1] != 8 && (*v)[1] != 16) ||
            ((*v)[2] != 1 && (*v)[2] != 2))
            return bad("RATE,BITS,CHANNELS with BITS 8 or 16 and CHANNELS 1 or 2");
        out.format = MakePcmFormat(static_cast<uint32_t>((*v)[0]), static_cast<uint16_t>((*v)[1]),
                                   static_cast<uint16_t>((*v)[2]));
    } else if (name == "--preset") {
        const auto colon = value.find(':');
        if (colon == std::string::npos || colon + 1 == value.size()) return bad("EFFECT:NAME");
        static const std::map<std::string, TCliEffect> effects = {
            {"delay", TCliEffect::Delay},
            {"fade", TCliEffect::Fade},
            {"equalize", TCliEffect::Equalize},
            {"distortion", TCliEffect::Distortion}};
        const auto it = effects.find(Lower(value.substr(0, colon)));
        if (it == effects.end()) return bad("EFFECT is delay, fade, equalize or distortion");
        if (!SetEffect(out, it->second, error)) return false;
        out.presetName = value.substr(colon + 1);
    } else {
        // The four explicit effects: NAME -> (effect, number of values).
        static const std::map<std::string, std::pair<TCliEffect, std::size_t>> effects = {
            {"--distortion", {TCliEffect::Distortion, 5}},
            {"--fade", {TCliEffect::Fade, 2}},
            {"--eq", {TCliEffect::Equalize, 11}},
            {"--delay", {TCliEffect::Delay, 7}}};
        const auto& [effect, count] = effects.at(name);
        const auto v = ParseInts(value, count);
        if (!v) return bad(std::to_string(count) + " integers separated by commas");
        if (!SetEffect(out, effect, error)) return false;
        out.effectValues = *v;
        const std::string problem = EffectValuesProblem(effect, *v);
        if (!problem.empty()) return bad(problem);
    }
    return true;
}

bool CheckComplete(TCliArgs& out, std::string& error) {
    if (out.input.empty()) {
        error = "missing input file";
        return false;
    }
    const bool copy = out.command == TCliCommand::Edit && out.op == TCliEditOp::Copy;
    if (out.command != TCliCommand::Info && !copy && out.output.empty()) {
        error = "missing -o OUT";
        return false;
    }
    if (out.command == TCliCommand::Edit) {
        const bool needsSelection = out.op == TCliEditOp::Cut || out.op == TCliEditOp::Copy ||
                                    out.op == TCliEditOp::Clear || out.op == TCliEditOp::Delete;
        if (needsSelection && !out.selection) {
            error = "this --op needs --sel START:END";
            return false;
        }
        if (out.op == TCliEditOp::Total && !out.length) {
            error = "--op total needs --length MM:SS.FFFFF";
            return false;
        }
        if (out.op != TCliEditOp::Total && out.length) {
            error = "--length belongs to --op total";
            return false;
        }
    }
    if (out.command == TCliCommand::Convert && out.format.nChannels == 0) {
        error = "missing --format RATE,BITS,CHANNELS";
        return false;
    }
    if (out.command == TCliCommand::Effect) {
        if (out.effect == TCliEffect::None) {
            error = "give one of --distortion, --fade, --eq, --delay, --preset";
            return false;
        }
        if (!out.selection) {
            error = "effects need --sel START:END";
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseCliArgs(const std::vector<std::string>& args, TCliArgs& out, std::string& error) {
    out = TCliArgs{};
    std::vector<std::string> words;
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            out.command = TCliCommand::Help;
            return true;
        }
        if (a == "--quiet" || a == "-q")
            out.quiet = true;
        else
            words.push_back(a);
    }
    if (words.empty()) {
        error = "missing command";
        return false;
    }
    static const std::map<std::string, TCliCommand> commands = {{"info", TCliCommand::Info},
                                                                {"edit", TCliCommand::Edit},
                                                                {"convert", TCliCommand::Convert},
                                                                {"effect", TCliCommand::Effect}};
    const auto command = commands.find(words[0]);
    if (command == commands.end()) {
        error = "unknown command \"" + words[0] + "\"";
        return false;
    }
    out.command = command->second;
    bool opGiven = false;
    std::set<std::string> seen;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string name = words[i];
        if (name.size() > 1 && name[0] == '-') {
            std::optional<std::string> value;
            const auto eq = name.find('=');
            if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            const auto option = ValueOptions().find(name);
            if (option == ValueOptions().end() || !option->second.count(out.command)) {
                error = "unknown option " + name + " for " + words[0];
                return false;
            }
            if (!seen.insert(name).second) {
                error = name + " given twice";
                return false;
            }
            if (!value) {
                if (i + 1 >= words.size()) {
                    error = name + " needs a value";
                    return false;
                }
                value = words[++i];
            }
            if (!TakeOption(name, *value, out, error)) return false;
            opGiven = opGiven || name == "--op";
        } else if (out.input.empty()) {
            out.input = name;
        } else {
            error = "unexpected argument \"" + name + "\"";
            return false;
        }
    }
    if (out.command == TCliCommand::Edit && !opGiven) {
        error = "edit needs --op";
        return false;
    }
    return CheckComplete(out, error);
}

std::optional<int32_t> ParsePosition(const std::string& text, const WAVEFORMATEX& format) {
    int64_t bytes = 0;
    if (text.find(':') != std::string::npos) {
        if (!IsTimeText(text)) return std::nullopt;
        // The converter wraps at 32 bits; a time beyond the largest position is refused here.
        const int64_t whole = (std::stoll(text.substr(0, 2)) * 60 + std::stoll(text.substr(3, 2))) *
                              static_cast<int64_t>(format.nAvgBytesPerSec);
        if (whole + static_cast<int64_t>(format.nAvgBytesPerSec) > INT32_MAX) return std::nullopt;
        bytes = TimeTextToBytes(text, format);
    } else {
        if (!AllDigits(text) || text.size() > 10) return std::nullopt;
        bytes = std::stoll(text);
        if (bytes > INT32_MAX) return std::nullopt;
    }
    const int64_t align = format.nBlockAlign > 0 ? format.nBlockAlign : 1;
    return static_cast<int32_t>(bytes - bytes % align);
}

std::optional<std::pair<int32_t, int32_t>> ParseSelection(const std::string& text,
                                                          const WAVEFORMATEX& format) {
    for (auto at = text.find(':'); at != std::string::npos; at = text.find(':', at + 1)) {
        const auto start = ParsePosition(text.substr(0, at), format);
        const auto end = ParsePosition(text.substr(at + 1), format);
        if (start && end) return std::make_pair(*start, *end);
    }
    return std::nullopt;
}

std::string EffectValuesProblem(TCliEffect effect, const std::vector<int32_t>& v) {
    const auto outside = [](int32_t x, TParamRange r) { return x < r.min || x > r.max; };
    constexpr TParamRange kSigned{kNegativeRange.min, kPositiveRange.max};
    switch (effect) {
    case TCliEffect::Distortion:
        for (std::size_t i = 0; i < 3; ++i)
            if (outside(v[i], TDistortionParams::kRange))
                return "UPPER, LOWER and CLAMP are 0..100";
        if (v[1] > v[0]) return "LOWER must not be above UPPER";
        if (outside(v[3], kSigned) || outside(v[4], kSigned)) return "DRY and WET are -150..150";
        return "";
    case TCliEffect::Fade:
        if (outside(v[0], TFadeParams::kRange) || outside(v[1], TFadeParams::kRange))
            return "LEFT and RIGHT are 0..200";
        return "";
    case TCliEffect::Equalize:
        for (const int32_t x : v)
            if (outside(x, TEqualizerParams::kRange)) return "DRY and every band are 0..200";
        return "";
    case TCliEffect::Delay:
        if (outside(v[0], TDelayParams::kDelayRange)) return "TOTAL is 1..2500";
        for (std::size_t i = 1; i < 4; ++i)
            if (outside(v[i], kSigned)) return "FEEDBACK, DRY and WET are -150..150";
        if (v[4] != 0 && v[4] != 1) return "TYPE is 0 (None) or 1 (Sinusoidal)";
        if (outside(v[5], TDelayParams::kFrequencyRange)) return "FREQ is 1..200";
        if (outside(v[6], TDelayParams::kModulatedDelayRange) || v[6] > v[0])
            return "MODULATED is 0..2500 and not above TOTAL";
        return "";
    case TCliEffect::None:
        break;
    }
    return "";
}

std::string CliUsage() {
    return R"(usage: wavestack-cli [--quiet] COMMAND ...

Commands:
  info FILE
      Print the wave format, the data length in bytes and as time text.
  edit IN -o OUT --op OP [--sel START:END] [--play POS] [--clip FILE] [--length TIME]
      OP is cut, copy, clear, delete, insert, paste or total.
      cut, copy, clear and delete act on --sel; insert and paste at --play (default 0).
      --clip FILE is the transfer file: cut and copy write it, insert and paste read it.
      Without --clip the transfer goes through this process's own clipboard, so insert
      and paste need --clip. total sets the data length to --length TIME.
      copy changes nothing in IN; -o may be left out (given, it receives a copy of IN).
  convert IN -o OUT --format RATE,BITS,CHANNELS
      Convert to another PCM format, e.g. --format 22050,8,1.
  effect IN -o OUT --sel START:END [--play POS] EFFECT
      EFFECT is exactly one of
        --distortion UPPER,LOWER,CLAMP,DRY,WET   thresholds and clamp 0..100 percent,
                                                 dry and wet -150..150 percent
        --fade LEFT,RIGHT                        0..200 percent
        --eq DRY,G0,...,G9                       0..200 percent, G0 is the 32 Hz band
        --delay TOTAL,FEEDBACK,DRY,WET,TYPE,FREQ,MODULATED
                                                 delays in 1/10000 s (TOTAL 1..2500,
                                                 MODULATED 0..TOTAL), FEEDBACK, DRY, WET
                                                 -150..150 percent, TYPE 0 (None) or
                                                 1 (Sinusoidal), FREQ in 1/10 Hz (1..200)
        --preset EFFECT:NAME                     a saved preset of delay, fade, equalize
                                                 or distortion from EffectsPreset.Ini in
                                                 the configuration folder

Positions are byte offsets into the data, or time texts MM:SS.FFFFF; both are rounded
down to whole sample frames. OUT may name IN: the file is then replaced safely.

Options:
  -q, --quiet   print errors only
  -h, --help    print this help

Exit status: 0 done, 1 the operation failed (the reason is on stderr), 2 bad arguments.
)";
}
