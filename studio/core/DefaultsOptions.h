// The rules of the defaults for new tracks (Options|Defaults...): the file-size label that
// follows the typed length, and what OK stores and reports. Qt-free; the dialog
// studio/FormDefaults.h shows what these say. UI thread.
//
// For the main window: RunDefaultsOptions(parent, Settings(), MainPanel()) of
// studio/FormDefaults.h runs the whole command.
#pragma once

#include <string>

#include "audio/WaveFormat.h"
#include "studio/core/StudioSettings.h"
#include "ui/core/MessageSink.h"

// "File Size is " + the bytes of `lengthText` in `format`, in MiB with thousands separators and
// two decimals, + " M". Unfilled places of the text read as "0".
std::string DefaultsSizeLabel(const std::string& lengthText, const WAVEFORMATEX& format);

// OK: `format` becomes the new tracks' format and `typedLength`, every blank turned into "0",
// their length; then "Default New Track wave format changed to " + the format's description +
// ", Length " + that length is reported (kind 2).
void ApplyDefaults(TStudioSettings& settings, const WAVEFORMATEX& format,
                   const std::string& typedLength, TMessageSink& messages);
