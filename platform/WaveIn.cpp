// Texts for the wave-input result codes; they follow the code in every failure message.
#include "platform/WaveIn.h"

std::string WaveInGetErrorText(MMRESULT code) {
    switch (code) {
    case MMSYSERR_NOERROR:
        return "The command completed successfully.";
    case MMSYSERR_ERROR:
        return "The sound server reported an unspecified error.";
    case MMSYSERR_BADDEVICEID:
        return "The input device number is out of range.";
    case MMSYSERR_ALLOCATED:
        return "The input device is already in use.";
    case MMSYSERR_INVALHANDLE:
        return "The input is closed or was never opened.";
    case MMSYSERR_NODRIVER:
        return "No sound server is available for recording.";
    case MMSYSERR_NOMEM:
        return "Not enough memory, or too many buffers queued.";
    case MMSYSERR_INVALFLAG:
        return "An invalid flag was passed.";
    case MMSYSERR_INVALPARAM:
        return "An invalid parameter was passed.";
    case WAVERR_BADFORMAT:
        return "The wave format is not supported for recording.";
    case WAVERR_STILLPLAYING:
        return "Buffers are still queued on the input.";
    case WAVERR_UNPREPARED:
        return "The buffer header has not been prepared.";
    default:
        return "Unrecognized wave-input error " + std::to_string(code) + ".";
    }
}
