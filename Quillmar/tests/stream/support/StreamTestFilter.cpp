// The one-pin test filter (see StreamTestFilter.h).
#include "StreamTestFilter.h"
#include "standin/control.h"

#include <atomic>
#include <mutex>

namespace streamtest {
namespace {

DEFINE_GUIDSTRUCT_VALUE(kFilterReference, 0x6B0F3A51L, 0x1C2D, 0x4E8F, 0x9A, 0x41, 0x33, 0x5C, 0x7D, 0x21, 0xE0,
                        0x9B);

struct PinRecord {
    std::mutex lock;
    ULONG nextHeaderSize = KS_VIDEO_STREAM_HEADER_SIZE;
    PKSPIN openPin = nullptr;
    std::vector<KSSTATE> steps;
};

PinRecord& Record()
{
    static PinRecord record; // test support only: never part of the driver
    return record;
}

KSDATARANGE MakeRange()
{
    KSDATARANGE range{};
    range.FormatSize = sizeof(KSDATARANGE);
    range.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    range.SubFormat = KSDATAFORMAT_SUBTYPE_UYVY;
    range.Specifier = KSDATAFORMAT_SPECIFIER_NONE;
    return range;
}

const KSDATARANGE kRange = MakeRange();
const PKSDATARANGE kRanges[] = {const_cast<PKSDATARANGE>(&kRange)};

NTSTATUS NTAPI PinCreate(PKSPIN pin, PIRP)
{
    std::lock_guard<std::mutex> hold(Record().lock);
    pin->StreamHeaderSize = Record().nextHeaderSize;
    Record().openPin = pin;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinClose(PKSPIN pin, PIRP)
{
    std::lock_guard<std::mutex> hold(Record().lock);
    if (Record().openPin == pin)
        Record().openPin = nullptr;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinProcess(PKSPIN)
{
    return STATUS_PENDING; // the sink under test fills the frames, on its own thread
}

NTSTATUS NTAPI PinSetDeviceState(PKSPIN, KSSTATE to, KSSTATE)
{
    std::lock_guard<std::mutex> hold(Record().lock);
    Record().steps.push_back(to);
    return STATUS_SUCCESS;
}

const KSPIN_DISPATCH kPinDispatch = {PinCreate, PinClose, PinProcess, nullptr, nullptr, PinSetDeviceState,
                                     nullptr,   nullptr,  nullptr,    nullptr};

const KSPIN_DESCRIPTOR_EX kPins[] = {
    {&kPinDispatch,
     nullptr,
     {0, nullptr, 0, nullptr, 1, kRanges, KSPIN_DATAFLOW_OUT, KSPIN_COMMUNICATION_BOTH, &PINNAME_CAPTURE,
      &PINNAME_CAPTURE, 0, nullptr},
     KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,
     1,
     0,
     nullptr,
     nullptr},
};

const GUID kCategories[] = {KSCATEGORY_CAPTURE, KSCATEGORY_VIDEO};
const KSFILTER_DISPATCH kFilterDispatch = {nullptr, nullptr, nullptr, nullptr};
const KSFILTER_DESCRIPTOR kFilter = {&kFilterDispatch, nullptr, KSFILTER_DESCRIPTOR_VERSION, 0, &kFilterReference,
                                     1, sizeof(KSPIN_DESCRIPTOR_EX), kPins, 2, kCategories, 0,
                                     0, nullptr, 0, nullptr, nullptr};
const KSFILTER_DESCRIPTOR* const kFilters[] = {&kFilter};
const KSDEVICE_DISPATCH kDeviceDispatch = {};
const KSDEVICE_DESCRIPTOR kDevice = {&kDeviceDispatch, 1, kFilters, KSDEVICE_DESCRIPTOR_VERSION, 0};

} // namespace

const KSDATARANGE& StreamTestRange()
{
    return kRange;
}

void SetNextPinHeaderSize(ULONG size)
{
    std::lock_guard<std::mutex> hold(Record().lock);
    Record().nextHeaderSize = size;
}

PKSPIN StreamTestOpenPin()
{
    std::lock_guard<std::mutex> hold(Record().lock);
    return Record().openPin;
}

std::vector<KSSTATE> StreamTestPinSteps()
{
    std::lock_guard<std::mutex> hold(Record().lock);
    return Record().steps;
}

void ResetStreamTestFilter()
{
    std::lock_guard<std::mutex> hold(Record().lock);
    Record().nextHeaderSize = KS_VIDEO_STREAM_HEADER_SIZE;
    Record().openPin = nullptr;
    Record().steps.clear();
}

PDRIVER_OBJECT LoadStreamTestFilter()
{
    PDRIVER_OBJECT driver = standin::CreateDriverObject(u"StreamTestFilter");
    if (driver == nullptr)
        return nullptr;
    if (!NT_SUCCESS(KsInitializeDriver(driver, nullptr, &kDevice))) {
        standin::DeleteDriverObject(driver);
        return nullptr;
    }
    return driver;
}

void UnloadStreamTestFilter(PDRIVER_OBJECT driver)
{
    if (driver != nullptr)
        standin::DeleteDriverObject(driver);
}

} // namespace streamtest
