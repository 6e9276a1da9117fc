// Fuzz harness: filled-buffer answers of the DSP as a logical stream takes them. The input is a
// stream set-up (state, generator and processing flags, time-stamp step and frame interval) and a
// run of answers, each with the bus address it names (one of the stream's buffers or any value),
// its completion code, its 32-bit time stamp and whether its record was killed. Every answer goes
// through LogicalStream::OnFrameReady, time stamps through ComputeTimeStamp; the stream is then torn
// down. The stream is the stream tests' fake physical stream over a Device with DMA buffers and no
// board (queued buffers stay with the protocol manager, never answered).
#include "FakePhysicalStream.h"
#include "LogicalStreamTestServices.h"

#include "commandhandler.h"
#include "device.h"
#include "driver.h"
#include "driverentry.h"
#include "km/dma.h"
#include "standin/drives.h"
#include "km/iodevice.h"
#include "km/registry.h"
#include "km/string.h"
#include "standin/control.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

struct Harness {
    Device* device = nullptr;
    std::unique_ptr<streamtest::LogicalStreamTestServices> services;

    Harness()
    {
        const auto root = std::filesystem::temp_directory_path() / "talvexon-fuzz-filled-buffer";
        std::filesystem::create_directories(root / "C");
        standin::SetMachineRoot(root.string());
        standin::ResetRegistry();
        // No hardware: waited commands return at once; two buffers keep each input small.
        standin::ImportRegistryText("Windows Registry Editor Version 5.00\n\n"
                                    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Talvexon]\n"
                                    "\"Start\"=dword:00000003\n\n"
                                    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Talvexon\\Parameters]\n"
                                    "\"HardwareInstalled\"=dword:00000000\n\"VideoDMABuffers\"=dword:00000002\n");
        PDRIVER_OBJECT driverObject = standin::CreateDriverObject(u"Talvexon");
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Talvexon");
        if (!NT_SUCCESS(DriverEntryMain(driverObject, &path)))
            return;
        device = new Device(Driver::Instance());
        device->SetInstanceId(1);
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties);
        if (pdo == nullptr || !NT_SUCCESS(device->GetDmaAdapter(pdo)))
            return;
        services = std::make_unique<streamtest::LogicalStreamTestServices>(device);
    }
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_offset < m_size; }
    uint8_t Byte() { return m_offset < m_size ? m_data[m_offset++] : 0; }
    uint32_t Word()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(Byte()) << (8 * i);
        return value;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Made once and never torn down: the process ends with it (the stand-in's own state may be gone
    // before static destructors would run).
    static Harness* const harness = new Harness;
    if (!harness->services)
        return 0;
    Reader input(data, size);
    const uint8_t setup = input.Byte();
    streamtest::FakePhysicalStream::Options options;
    options.step = input.Word();
    options.interval = input.Word();
    streamtest::FakePhysicalStream stream(harness->services.get(),
                                          harness->services->GetVideoStreamProcessorQueue(), options);
    if (!NT_SUCCESS(stream.GetConstructionStatus()))
        return 0;
    // Acquire with a DSP stream (no board answers the create): both buffers go to the DSP.
    stream.StreamFromStopToAcquire();
    stream.SetDspStreamCreated(true);
    for (ULONG i = 0; i < stream.GetBufferCount(); ++i)
        stream.ReturnPurgedWorkItem(i);
    stream.SetState(static_cast<LONG>((setup >> 3) & 3));
    stream.SetGeneratorRunning((setup & 1) != 0);
    stream.SetProcessingEnabled((setup & 2) != 0);
    stream.SetManualTransition((setup & 4) != 0);

    for (int answers = 0; input.More() && answers < 64; ++answers) {
        const uint8_t selector = input.Byte();
        uint32_t busAddress = input.Word();
        const uint32_t completion = input.Word();
        const uint32_t timeStamp = input.Word();
        const uint8_t flags = input.Byte();
        if (selector < 2 * stream.GetBufferCount()) {
            const FrameWorkItem* entry = stream.GetEntry(selector);
            busAddress = entry != nullptr ? static_cast<uint32_t>(entry->physicalAddress) : busAddress;
        }
        if (flags & 0x10)
            stream.SetState(static_cast<LONG>((flags >> 1) & 3));
        if (flags & 0x20)
            stream.SetGeneratorRunning((flags & 0x40) != 0);
        CommandHandler* record = harness->services->AllocateCommandHandler();
        if (record == nullptr)
            break;
        record->SetCommandId(CommandHandler::kCommandQueueCaptureBuffer);
        record->SetPayloadWord(1, busAddress);
        record->SetStream(stream.GetHandle());
        if (flags & 1)
            harness->services->KillStreamsPendingCommands(stream.GetHandle());
        record->SetDspResult(completion);
        memcpy(record->ResponseArea() + LogicalStream::kResponseTimeStampOffset, &timeStamp, sizeof(timeStamp));
        stream.OnFrameReady(record); // owns the record from here
        if (flags & 0x80)
            stream.ComputeTimeStamp(timeStamp ^ completion, options.step, (flags & 8) != 0);
    }
    stream.SetManualTransition(false);
    return 0;
}
