// Streaming PCM-to-PCM converter: sample rate, sample width (8/16 bit) and channel count
// (mono/stereo) between any two PCM formats of the system. It stands where the platform's
// audio-compression stream stood, so it answers the same size queries, and it converts a
// stream fed in blocks of any size to exactly the same bytes as in one piece.
//
// One object serves one stream on one thread at a time; it is not locked. Memory is bounded by
// the block sizes the caller pushes and pops, never by the length of the stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/WaveFormat.h"

class TPcmConverter {
  public:
    // Result codes; 0 is success. ErrorText gives each a one-line description.
    enum Result : int {
        kOk = 0,
        kBadSourceFormat = 1,      // not PCM, channels not 1/2, bits not 8/16, rate 0, bad align
        kBadDestinationFormat = 2, // the same for the destination
        kRateRatioTooLarge = 3,    // the rates differ by more than kMaxRateRatio either way
        kResamplerFailed = 4,      // the resampler could not be made or failed while running
        kNotOpen = 5,              // no stream open
        kSizeOverflow = 6,         // a size query does not fit 32 bits
        kAlreadyFlushed = 7,       // source pushed after the end of the source
        kNullBuffer = 8,           // a null pointer with a non-zero byte count
        kOutOfMemory = 9,          // a buffer could not be grown
    };

    // Rates further apart than this are refused: one source block would expand beyond any block
    // size the callers use, and such formats are never offered.
    static constexpr uint32_t kMaxRateRatio = 256;

    TPcmConverter();
    ~TPcmConverter();
    TPcmConverter(const TPcmConverter&) = delete;
    TPcmConverter& operator=(const TPcmConverter&) = delete;

    // Opens a stream; closes any stream open before. Only the tag, channels, rate, bits and
    // block alignment are read (the byte rate and extra size are not needed to convert).
    int Open(const WAVEFORMATEX& source, const WAVEFORMATEX& destination);
    bool IsOpen() const;

    // Destination bytes that `sourceBytes` source bytes convert to: whole frames,
    // ceil(frames * dstRate / srcRate). This is the room a block needs; output the resampler
    // held back from earlier blocks may leave a few frames more waiting (Pop what fits).
    int SizeForSource(uint32_t sourceBytes, uint32_t& destinationBytes) const;
    // Source bytes whose conversion fills `destinationBytes` (whole frames of it):
    // ceil(frames * srcRate / dstRate) source frames. A stream that must emit that much right
    // away reads LookaheadSourceBytes() further on its first block.
    int SizeForDestination(uint32_t destinationBytes, uint32_t& sourceBytes) const;

    // Feeds source bytes. A trailing partial frame is kept and completed by the next push.
    int Push(const uint8_t* source, uint32_t bytes);
    // End of the source: drains the resampler and trims or pads (with silence) the output so
    // that the whole stream yields exactly round(inFrames * dstRate / srcRate) frames, halves to
    // even. A partial frame still pending is dropped. Pushing afterwards is refused.
    int Flush();

    // Converted bytes ready to pop (whole destination frames).
    uint32_t Available() const;
    // Copies up to maxBytes, rounded down to whole frames, and returns the bytes copied.
    uint32_t Pop(uint8_t* destination, uint32_t maxBytes);

    // Source bytes (whole frames) the resampler needs beyond a point in time before all output
    // up to that point is available; 0 when the rates are equal. Measured on a silent probe
    // stream when the stream opens, with a safety margin.
    uint32_t LookaheadSourceBytes() const;

    void Close();
    static std::string ErrorText(int code);

    // Frame sizes of the open stream [bytes], 0 when closed.
    uint32_t SourceFrameBytes() const;
    uint32_t DestinationFrameBytes() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
