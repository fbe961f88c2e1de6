// Placeholder for the device side of playback: refuses cleanly until it is built.
#include "track/VelTrack.h"

void TVelTrack::SetSoundDevice(TSoundOutputDevice* device, const WAVEFORMATEX& outputFormat) {
    soundDevice_ = device;
    outputFormat_ = outputFormat;
}
void TVelTrack::SetPanValue(int32_t pan) {
    pan_ = pan;
}
void TVelTrack::SetVolumeValue(int32_t volume) {
    volume_ = volume;
}
void TVelTrack::SetDampen(bool on) {
    dampen_ = on;
}
bool TVelTrack::StartBuffer() {
    return false;
}
void TVelTrack::StartFeeder() {}
void TVelTrack::Play() {}
std::string TVelTrack::StopAt(const std::string&) {
    return "-1";
}
void TVelTrack::Stop() {}
void TVelTrack::UpdatePlayPosition() {}
int32_t TVelTrack::NextBoundary() {
    return StartOffset + DataLength;
}
int32_t TVelTrack::PreviousBoundary() {
    return StartOffset;
}
bool TVelTrack::SetOutputFormat(const WAVEFORMATEX&, uint32_t) {
    return false;
}
