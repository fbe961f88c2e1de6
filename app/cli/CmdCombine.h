// wavestack-cli combine: mixes the unmuted tracks of a song file into one new wave file, each
// track at its start offset with its pan and volume, as the main window's Combine does.
#pragma once

#include <string>
#include <vector>

// True when the words (the command line without the program name) ask for "combine".
bool IsCombineCommand(const std::vector<std::string>& words);

// Runs the whole command: 0 done, 1 failed (the reason on stderr), 2 bad arguments.
int RunCombine(const std::vector<std::string>& words);

// The command's lines for --help.
std::string CombineUsage();
