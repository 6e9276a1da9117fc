// BasicVideoFilter: the behaviour the crossbar and video capture filters share. Their inputs are
// the filter's own video inputs; every video input translates to the one video connector type.
#pragma once
#include "basicfilter.h"

class BasicVideoFilter : public BasicFilter {
public:
    ~BasicVideoFilter() override;
    // The input type of that video input; an index beyond the last reads the last (0 without inputs).
    ULONG GetInputType(ULONG index) override;
    // Always the video connector type (6).
    ULONG TranslateInputType(ULONG inputType) override;
    ULONG GetInputCount() override;
    // The current input of the board's filter with this device number and owning process (the
    // crossbar's first, else the video capture filter's; the board's active input when none).
    ULONG GetCurrentInput(ULONG deviceNumber, PEPROCESS owningProcess) override;
    // The same for the first filter with this device number.
    ULONG GetCurrentInput(ULONG deviceNumber) override;
    // The hardware number of that video input, -1 when it cannot be read.
    ULONG GetInputIOIndex(ULONG index) override;

protected:
    // PROPSETID_VIDCAP_CROSSBAR (and the private crossbar set of the video capture filter): caps,
    // pin info, can route and route answered by the device's crossbar; a route set goes to it too.
    NTSTATUS CrossbarProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool set);
};
