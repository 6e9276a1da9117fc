// CDeliverVBIData (algorithm id 19): the VBI pin's step. Each VBI frame from the separator gives
// two deliveries, field 1 then field 0, each SamplesPerLine bytes (at a stride of StrideInBytes) x
// (EndLine - StartLine + 1) rows of the pin's KS_VBIINFOHEADER: the VBI rows of those lines (line
// - 2 for the 525-line standard, line + 1 for 625), each row's luma doubled and rescaled to the
// header's sampling frequency. Field 1 carries the input's time and flag 8, field 0 the time half
// an interval later and flag 16; both carry half the input's interval.
#pragma once
#include "algorithm.h"
#include "shared/ksstreamrecords.h"

class VideoFrame;

class CDeliverVBIData : public Algorithm {
public:
    explicit CDeliverVBIData(const KS_VBIINFOHEADER& header);
    ~CDeliverVBIData() override;
    void Process(Frame* frame) override;
    // Ids equal.
    bool IsEqual(const Algorithm* other) const override { return Algorithm::IsEqual(other); }

    // Writes the rows of frame field `field` of a VBI frame into `output` (rows x stride bytes,
    // zeroed first). Rows outside the field's block read as zero. False when the rows could not be
    // made for want of memory (the output is then incomplete).
    bool CreateVBIDataFromFrame(const VideoFrame* vbi, LONG field, PUCHAR output);
    // Samples of a rescaled row: 720 x sampling frequency / 13.5 MHz, at most SamplesPerLine.
    LONG RescaledSamples() const;
    ULONG Rows() const;
    const KS_VBIINFOHEADER& Header() const { return m_header; }

private:
    KS_VBIINFOHEADER m_header;
    Frame* m_output = nullptr;
    PUCHAR m_doubled = nullptr; // one doubled row
    PUCHAR m_scaled = nullptr;  // one rescaled row
    LONG m_doubledCapacity = 0;
};
