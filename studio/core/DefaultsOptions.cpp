#include "studio/core/DefaultsOptions.h"

#include "audio/VelTrackUtils.h"
#include "track/TrackWindowRules.h"

std::string DefaultsSizeLabel(const std::string& lengthText, const WAVEFORMATEX& format) {
    return LengthTextSizeLabel(lengthText, format);
}

void ApplyDefaults(TStudioSettings& settings, const WAVEFORMATEX& format,
                   const std::string& typedLength, TMessageSink& messages) {
    settings.trackFormat = format;
    settings.trackLength = BlanksToZeros(typedLength);
    messages.AddMessage(kMsgStatus, "Default New Track wave format changed to " +
                                        FormatDescription(settings.trackFormat) + ", Length " +
                                        settings.trackLength);
}
