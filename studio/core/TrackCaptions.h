// The caption of a new track window: "New Track " (with its trailing blank) when no child
// window has it, else "New Track " + 1, 2, ... 99, the first that none has, captions compared
// without regard to (ASCII) case. Qt-free.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kNewTrackCaption = "New Track ";
inline constexpr int kLastNewTrackNumber = 99;

// nullopt when all hundred captions are taken: then no track is made.
std::optional<std::string> NewTrackCaption(const std::vector<std::string>& childCaptions);
