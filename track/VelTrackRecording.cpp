// Placeholder for recording.
#include "track/RecordingState.h"
#include "track/VelTrack.h"

bool TVelTrack::PrepareRecording() {
    return false;
}
void TVelTrack::RunRecording() {}
bool TVelTrack::StartRecording() {
    return false;
}
void TVelTrack::StartPreparedRecording() {}
void TVelTrack::CloseRecordingDevice() {
    recording_.reset();
}
