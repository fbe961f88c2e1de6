// The command line of wavestack-cli: what was asked for, checked for shape only. Positions
// stay text until the input's wave format is known (a time text needs the byte rate).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"

enum class TCliCommand { Help, Info, Edit, Convert, Effect };

enum class TCliEditOp { Cut, Copy, Clear, Delete, Insert, Paste, Total };

enum class TCliEffect { None, Distortion, Fade, Equalize, Delay };

struct TCliArgs {
    TCliCommand command = TCliCommand::Help;
    bool quiet = false;
    std::string input;
    std::string output; // empty: not given
    // edit
    TCliEditOp op = TCliEditOp::Cut;
    std::optional<std::string> selection; // "START:END" as typed
    std::optional<std::string> play;      // POS as typed
    std::optional<std::string> clip;      // transfer file
    std::optional<std::string> length;    // time text for total
    // convert
    WAVEFORMATEX format{};
    // effect: either explicit values in the starter's units, or a preset to load
    TCliEffect effect = TCliEffect::None;
    std::vector<int32_t> effectValues;
    std::string presetName; // with effect set, when --preset was used
};

// False with `error` set (a usage error) when the line cannot be understood.
bool ParseCliArgs(const std::vector<std::string>& args, TCliArgs& out, std::string& error);

// The help text printed by --help.
std::string CliUsage();

// A position typed by the user: a byte offset into the data, or (when it holds ':') a time
// text "MM:SS.FFFFF" in `format`. Either is rounded down to whole frames so that an edit
// never splits a sample frame. nullopt for text of neither shape.
std::optional<int32_t> ParsePosition(const std::string& text, const WAVEFORMATEX& format);

// "START:END" where each side is a position as above. Time texts hold ':' themselves, so the
// split is the ':' that leaves a valid position on both sides.
std::optional<std::pair<int32_t, int32_t>> ParseSelection(const std::string& text,
                                                          const WAVEFORMATEX& format);

// Why the effect values are out of the ranges the effects dialog allows, or "".
std::string EffectValuesProblem(TCliEffect effect, const std::vector<int32_t>& values);
