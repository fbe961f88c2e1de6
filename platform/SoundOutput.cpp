#include "platform/SoundOutput.h"

namespace {

struct TErrorText {
    HRESULT code;
    const char* text;
};

constexpr TErrorText kErrorTexts[] = {
    {DS_OK, "The method succeeded."},
    {DSERR_ACCESSDENIED, "The request failed because access was denied."},
    {DSERR_ALLOCATED, "The request failed because resources, such as a priority level, were "
                      "already in use by another caller."},
    {DSERR_ALREADYINITIALIZED, "The object is already initialized."},
    {DSERR_BADFORMAT, "The specified wave format is not supported."},
    {DSERR_BADSENDBUFFERGUID,
     "The GUID specified in an audiopath file does not match a valid mix-in buffer."},
    {DSERR_BUFFERLOST, "The buffer memory has been lost and must be restored."},
    {DSERR_BUFFERTOOSMALL, "The buffer size is not great enough to enable effects processing."},
    {DSERR_CONTROLUNAVAIL,
     "The buffer control (volume, pan, and so on) requested by the caller is not available. "
     "Controls must be specified when the buffer is created, using the dwFlags member of "
     "DSBUFFERDESC."},
    {DSERR_DS8_REQUIRED, "A DirectSound object of class CLSID_DirectSound8 or later is required "
                         "for the requested functionality. For more information, see "
                         "IDirectSound8 Interface."},
    {DSERR_GENERIC, "An undetermined error occurred inside the DirectSound subsystem."},
    {DSERR_INVALIDCALL, "This function is not valid for the current state of this object."},
    {DSERR_INVALIDPARAM, "An invalid parameter was passed to the returning function."},
    {DSERR_NOAGGREGATION, "The object does not support aggregation."},
    {DSERR_NODRIVER, "No sound driver is available for use, or the given GUID is not a valid "
                     "DirectSound device ID."},
    {DSERR_NOINTERFACE, "The requested COM interface is not available."},
    {DSERR_OBJECTNOTFOUND, "The requested object was not found."},
    {DSERR_OTHERAPPHASPRIO,
     "Another application has a higher priority level, preventing this call from succeeding."},
    {DSERR_OUTOFMEMORY, "The DirectSound subsystem could not allocate sufficient memory to "
                        "complete the caller's request."},
    {DSERR_PRIOLEVELNEEDED, "A cooperative level of DSSCL_PRIORITY or higher is required."},
    {DSERR_SENDLOOP, "A circular loop of send effects was detected."},
    {DSERR_UNINITIALIZED, "The IDirectSound8::Initialize method has not been called or has not "
                          "been called successfully before other methods were called."},
    {DSERR_UNSUPPORTED, "The function called is not supported at this time."},
};

} // namespace

std::string SoundErrorText(HRESULT code) {
    for (const TErrorText& entry : kErrorTexts)
        if (entry.code == code) return entry.text;
    return "UnrecognizedError";
}
