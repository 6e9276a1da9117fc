// The recording test sink (see RecordingSink.h).
#include "RecordingSink.h"

#include "videoframe.h"

#include <cstring>

namespace streamtest {

RecordingSink::RecordingSink() : Algorithm(kAlgorithmIdProcessingSink) {}

RecordingSink::~RecordingSink() = default;

void RecordingSink::SetLendBytes(ULONG bytes)
{
    lendBuffer_.assign(bytes, 0);
}

bool RecordingSink::GetDestinationBuffer(Frame* frame, ULONG bytesNeeded)
{
    ++lendRequests_;
    if (frame == nullptr || lent_ || lendBuffer_.empty() || lendBuffer_.size() < bytesNeeded)
        return false;
    savedData_ = frame->GetFrameData();
    savedSize_ = frame->GetDataSize();
    frame->SetFrameData(lendBuffer_.data());
    frame->SetDataSize(ULONG(lendBuffer_.size()));
    lent_ = true;
    return true;
}

void RecordingSink::Process(Frame* frame)
{
    BeginTiming();
    if (frame != nullptr) {
        Delivery d{};
        d.frameTime = frame->GetFrameNumber();
        d.sequenceNumber = frame->GetSequenceNumber();
        d.flags = frame->GetFlags();
        d.frameInterval = frame->GetFrameInterval();
        d.timeOffset = frame->GetTimeOffset();
        d.inputIdentifier = frame->GetInputIdentifier();
        d.width = frame->GetWidth();
        d.height = frame->GetHeight();
        d.format = frame->GetFormat();
        d.dataSize = frame->GetDataSize();
        d.writable = frame->IsWritable();
        d.lent = lent_ && frame->GetFrameData() == lendBuffer_.data();
        for (LONG field = 0; field < 2; ++field) {
            d.captionWord[field] = frame->GetCaptionWord(field);
            d.vbiSize[field] = frame->GetVbiSize(field);
            d.activeSize[field] = frame->GetActiveSize(field);
        }
        d.frame = frame;
        const auto* video = dynamic_cast<const VideoFrame*>(frame);
        if (keepBytes_ && !d.lent && video != nullptr && video->GetPlane(0) != nullptr && video->PlanesInBuffer()) {
            d.bytes.reserve(size_t(video->GetRowCount()) * (video->GetRowWidth() + video->GetRowWidth() / 2 * 2));
            for (ULONG plane = 0; plane < 3; ++plane) {
                const ULONG width = plane == 0 ? video->GetRowWidth() : video->GetRowWidth() / 2;
                for (ULONG row = 0; row < video->GetRowCount(); ++row) {
                    const UCHAR* p = video->GetPlane(plane) + ptrdiff_t(row) * video->GetStride(plane);
                    d.bytes.insert(d.bytes.end(), p, p + width);
                }
            }
        } else if (keepBytes_ && frame->GetFrameData() != nullptr) {
            d.bytes.assign(frame->GetFrameData(), frame->GetFrameData() + frame->GetDataSize());
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            deliveries_.push_back(std::move(d));
        }
        if (lent_) {
            frame->SetFrameData(savedData_);
            frame->SetDataSize(savedSize_);
        }
    }
    lent_ = false;
    savedData_ = nullptr;
    savedSize_ = 0;
    EndTiming();
}

} // namespace streamtest
