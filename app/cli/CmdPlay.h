// wavestack-cli play and devices: a wave file played the way a track plays (chunk ring,
// feeder, 100 ms clock), and the list of sound devices.
#pragma once

#include <string>
#include <vector>

// True when the words ask for "play" or "devices".
bool IsPlayCommand(const std::vector<std::string>& words);
// Exit status: 0 done (also after Ctrl-C), 1 failed (reason on stderr), 2 bad arguments.
int RunPlayCommand(const std::vector<std::string>& words);
std::string PlayUsage();
