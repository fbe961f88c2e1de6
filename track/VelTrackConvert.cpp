// Format conversion of a track, and the conversion streams the combine reads its sources
// through. Memory: one source block in the working buffer and one destination block, together
// under 1 MiB.
#include <algorithm>
#include <new>

#include "track/VelTrack.h"

namespace {

std::string Code(int result) {
    return std::to_string(result) + " (" + TPcmConverter::ErrorText(result) + ")";
}

} // namespace

int32_t TVelTrack::WrittenDataBytes() const {
    if (!working_.handle) return 0;
    return static_cast<int32_t>(working_.handle->Tell() - working_.dataStart);
}

bool TVelTrack::OpenConversion(WaveFile& destination, WaveFile& source, int32_t destinationBlock) {
    const int opened = converter_.Open(source.format, destination.format);
    if (opened != TPcmConverter::kOk) {
        AddMessage(kMsgError, "AcmStreamOpen " + Code(opened));
        return false;
    }
    uint32_t sourceBlock = 0x80000;
    uint32_t destinationBytes = 0;
    if (destinationBlock == -1) {
        int r = converter_.SizeForSource(sourceBlock, destinationBytes);
        while (r == TPcmConverter::kOk && sourceBlock + destinationBytes >= 0x100000 &&
               sourceBlock > 8192) {
            sourceBlock -= 8192;
            r = converter_.SizeForSource(sourceBlock, destinationBytes);
        }
        if (r != TPcmConverter::kOk) {
            AddMessage(kMsgError, "ACMStreamSize Miscalulation " + Code(r));
            converter_.Close();
            return false;
        }
    } else {
        destinationBytes = static_cast<uint32_t>(destinationBlock);
        const int r = converter_.SizeForDestination(destinationBytes, sourceBlock);
        if (r != TPcmConverter::kOk) {
            AddMessage(kMsgError, "ACMStreamSize Miscalulation " + Code(r));
            converter_.Close();
            return false;
        }
    }
    convBuffer_.reset(new (std::nothrow) uint8_t[std::max<uint32_t>(destinationBytes, 1)]);
    if (!convBuffer_) {
        AddMessage(kMsgError, "Not enough memory to convert wave format");
        converter_.Close();
        return false;
    }
    convDestination_ = &destination;
    convSource_ = &source;
    convSourceBlock_ = static_cast<int32_t>(sourceBlock);
    convDestinationBlock_ = static_cast<int32_t>(destinationBytes);
    convSourceLeft_ =
        source.handle
            ? std::max<int64_t>(0, source.dataStart + source.dataLength - source.handle->Tell())
            : 0;
    return true;
}

// Reads up to `bytes` of the source (never past its data) into the working buffer and feeds
// them to the stream; at the end of the source the stream is drained.
bool TVelTrack::FeedConversion(int32_t bytes) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(bytes, convSourceLeft_));
    if (n > 0) {
        int32_t got = 0;
        if (!io_.ReadWaveData(*convSource_, n, &got)) return false;
        convSourceLeft_ -= got;
        if (got < n) convSourceLeft_ = 0; // the file ended early: treat it as the end
        const int pushed = converter_.Push(io_.Buffer().data, static_cast<uint32_t>(got));
        if (pushed != TPcmConverter::kOk) {
            AddMessage(kMsgError, "AcmStreamConvert " + Code(pushed));
            return false;
        }
    }
    if (convSourceLeft_ == 0 && !convFlushed_) {
        convFlushed_ = true;
        const int flushed = converter_.Flush();
        if (flushed != TPcmConverter::kOk) {
            AddMessage(kMsgError, "AcmStreamConvert " + Code(flushed));
            return false;
        }
    }
    return true;
}

bool TVelTrack::ConvertStretch(int32_t offset, int32_t length, bool write, int32_t sourceBytes) {
    if (!convSource_ || !convBuffer_) return false;
    const uint32_t frame = std::max<uint32_t>(1, converter_.DestinationFrameBytes());
    if (write) {
        // Block after block from the source file into the destination file.
        for (int32_t left = sourceBytes;;) {
            if (Cancelled()) return false;
            const int32_t n = std::min(left, convSourceBlock_);
            if (!FeedConversion(n)) return false;
            left -= n;
            while (converter_.Available() >= frame) {
                const uint32_t got =
                    converter_.Pop(convBuffer_.get(), static_cast<uint32_t>(convDestinationBlock_));
                if (!io_.WriteWaveData(*convDestination_, convBuffer_.get(),
                                       static_cast<int32_t>(got)))
                    return false;
            }
            if (left <= 0) return true;
        }
    }
    // Into the destination block, `length` bytes (0: the whole block) at `offset`: read as much
    // of the source as it takes to fill them, so the stream's lookahead never leaves a short
    // block and block after block stays on the timeline.
    const uint32_t room = static_cast<uint32_t>(length == 0 ? convDestinationBlock_ : length);
    const uint32_t want = room - room % frame;
    while (converter_.Available() < want && !convFlushed_) {
        if (Cancelled()) return false;
        const int32_t step = std::max(convSourceBlock_ / 4, static_cast<int32_t>(8192));
        if (!FeedConversion(step)) return false;
    }
    const uint32_t got = converter_.Pop(convBuffer_.get() + offset, want);
    // A source that ended inside the block leaves the rest of it as it was prepared (silence).
    (void)got;
    return true;
}

bool TVelTrack::CloseConversion() {
    convBuffer_.reset();
    converter_.Close();
    convDestination_ = nullptr;
    convSource_ = nullptr;
    convFlushed_ = false;
    convSourceLeft_ = 0;
    return true;
}

bool TVelTrack::ConvertFile(WaveFile& destination, WaveFile& source) {
    bool ok = OpenConversion(destination, source, -1) &&
              ConvertStretch(0, 0, true, static_cast<int32_t>(convSourceLeft_));
    ok = CloseConversion() && ok;
    return ok;
}

void TVelTrack::ConvertFormat() {
    if (Ready()) StartJob(tsBusy, [this] { DoConvertFormat(); });
}

void TVelTrack::DoConvertFormat() {
    const auto chosen = owner_.ChooseConversionFormat(working_.format);
    const char* refusal = nullptr;
    if (!chosen)
        refusal = "Conversion Canceled";
    else if (SameFormat(*chosen, working_.format))
        refusal = "Same Format.  No Conversion made";
    if (refusal) {
        AddMessage(kMsgStatus, refusal);
        SetState(tsReady);
        owner_.SetHourglass(false);
        return;
    }
    bool ok = BeginChange(0, "Conversion", *chosen) && ConvertFile(working_, previous_);
    if (ok) {
        // The same start time is another byte count in the new format.
        SetStartOffsetText(StartOffsetText);
        SetHasSelection(false);
    }
    EndChange(ok, 0, -1, 0, "Conversion");
}
