// The fixture of the video steps' tests: the driver's trace logger (errors and the printed lines
// of level 0x20, so that tests read the steps' traces and event-log entries), no injected plane
// exception left behind, and helpers over the event log.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TraceTestSupport.h"
#include "km/eventlog.h"
#include "planework.h"

namespace stepstest {

class VideoStepsTest : public tracetest::TraceTest {
protected:
    void SetUp() override
    {
        TraceTest::SetUp();
        logger->SetTraceMask(kTraceErrors | kTraceHighs);
    }
    void TearDown() override
    {
        InjectPlaneWorkExceptions(0);
        TraceTest::TearDown();
    }

    // Event-log entries with the message id, and the work each names (its second insert).
    static std::vector<std::u16string> LoggedWork(ULONG messageId)
    {
        std::vector<std::u16string> work;
        for (const auto& entry : standin::EventLogEntries())
            if (entry.messageId == messageId)
                work.push_back(entry.inserts.size() > 1 ? entry.inserts[1] : u"");
        return work;
    }
};

} // namespace stepstest
