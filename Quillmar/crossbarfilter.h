// CrossbarFilter: the analog crossbar of a board, one input per video input and one output that
// feeds the video capture filter's analog input. Its own copy of the video inputs carries the
// active input; the crossbar set goes to the device's crossbar operations.
#pragma once
#include "basicvideofilter.h"
#include "videoinputitems.h"

class CrossbarFilter : public BasicVideoFilter {
public:
    ~CrossbarFilter() override;
    // PROPSETID_VIDCAP_CROSSBAR, under the filter's control mutex and then the device mutex.
    NTSTATUS OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data) override;
    NTSTATUS OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data) override;
    NTSTATUS SaveToRegistry() override;
    // Under the control mutex: an instance id, the video inputs, and the board's active input as
    // the current one (a video capture filter of the board already open wins).
    NTSTATUS OnCreate(PIRP irp) override;
    NTSTATUS OnClose(PIRP irp) override;
    VideoInputItems* GetVideoInputItems() override { return &m_inputs; }

private:
    VideoInputItems m_inputs;
};
