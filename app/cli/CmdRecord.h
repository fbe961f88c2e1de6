// wavestack-cli record: punches a take into a wave file over a selection while other wave
// files play from the same song position, as the main window's Record does; and the list of
// input devices for "devices".
#pragma once

#include <string>
#include <vector>

// True when the words ask for "record".
bool IsRecordCommand(const std::vector<std::string>& words);
// Exit status: 0 recorded and saved (also after Ctrl-C), 1 failed (reason on stderr), 2 bad
// arguments.
int RunRecordCommand(const std::vector<std::string>& words);
std::string RecordUsage();
// Prints the input devices (number, product name, server name); false when there is none.
bool PrintInputDevices();
