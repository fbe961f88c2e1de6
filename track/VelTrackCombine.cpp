// Placeholder for combining tracks.
#include "track/CombineState.h"
#include "track/VelTrack.h"

void TVelTrack::StartCombine(const std::string&, const std::string&, std::vector<TVelTrack*>) {}
