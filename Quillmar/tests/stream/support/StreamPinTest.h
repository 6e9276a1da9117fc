// The fixture of the sink's tests and of any test that needs a real pin for its frames: the trace
// logger (so the event log can be read), a physical device with the one-pin test filter added and
// started through plug and play, a FrameClient on its filter with the pin created and set to Run,
// and a FakeStreamingPin over the framework's pin for the code under test.
#pragma once
#include "FakeStreamingPin.h"
#include "FrameClient.h"
#include "TraceTestSupport.h"

#include <memory>
#include <string>

namespace streamtest {

class StreamPinTest : public tracetest::TraceTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens (again) the client's pin with the given header size and sets it to `state`; the fake
    // pin then stands over it. Called by SetUp with 112 bytes and Run.
    void OpenPin(ULONG headerSize, KSSTATE state = KSSTATE_RUN);

    std::unique_ptr<FrameClient> client;
    FakeStreamingPin pin;
    std::u16string filterPath;

private:
    PDRIVER_OBJECT driver_ = nullptr;
    PDEVICE_OBJECT pdo_ = nullptr;
};

} // namespace streamtest
