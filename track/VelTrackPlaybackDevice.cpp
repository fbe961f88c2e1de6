// Placeholder for the device side of playback: refuses cleanly until it is built.
#include "track/VelTrack.h"

void TVelTrack::SetSoundDevice(TSoundOutputDevice* device, const WAVEFORMATEX& outputFormat) {
    soundDevice_ = device;
    outputFormat_ = outputFormat;
}
void TVelTrack::SetPanValue(int32_t pan) {
    pan_ = pan;
}
// Volume 0 is gain 1; -100 silence; +100 doubles the amplitude.
void TVelTrack::SetVolumeValue(int32_t volume) {
    volume_ = volume;
    long double gain = 1.0L;
    if (volume < 0) gain = (100.0L + volume) / 100.0L;
    if (volume > 0) gain = static_cast<long double>(volume) / 100.0L + 1.0L;
    gain_ = static_cast<float>(gain);
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
