// Stream-engine services for tests over a real Device: its command records, kill flags and stream
// table; a DSP clock rate the test may change; and the two processing queues, made here (the
// device's add makes them in the driver) and given to the device's table.
#pragma once
#include "device.h"
#include "streamdeviceservices.h"
#include "streamprocessorqueue.h"

#include <atomic>
#include <memory>

namespace streamtest {

class LogicalStreamTestServices final : public StreamDeviceServices {
public:
    // Queues of `queueCapacity` (0: none) at the device's priorities.
    explicit LogicalStreamTestServices(Device* device, ULONG queueCapacity = 9);
    ~LogicalStreamTestServices();

    CommandHandler* AllocateCommandHandler() override { return m_device->AllocateCommandHandler(); }
    void FreeCommandHandler(CommandHandler* handler) override { m_device->FreeCommandHandler(handler); }
    void KillStreamsPendingCommands(LogicalStreamHandle stream) override;
    LogicalStreamTable* GetLogicalStreamTable() override { return m_device->GetLogicalStreamTable(); }
    ULONG GetDspClockRate() override { return m_clockRate.load(); }
    StreamProcessorQueue* GetVideoStreamProcessorQueue() override { return m_videoQueue.get(); }
    StreamProcessorQueue* GetAudioStreamProcessorQueue() override { return m_audioQueue.get(); }
    ULONG GetCurrentVideoInput(ULONG deviceNumber) override { return m_device->GetCurrentVideoInput(deviceNumber); }
    Driver* GetDriver() const override { return m_device->GetDriver(); }

    Device* GetDevice() const { return m_device; }
    void SetDspClockRate(ULONG rate) { m_clockRate.store(rate); }
    int KillCount() const { return m_kills.load(); }
    // Stops both workers (before the device goes).
    void DestroyQueues();

private:
    Device* m_device;
    std::atomic<ULONG> m_clockRate{kDspClockRate};
    std::atomic<int> m_kills{0};
    std::unique_ptr<StreamProcessorQueue> m_videoQueue;
    std::unique_ptr<StreamProcessorQueue> m_audioQueue;
};

} // namespace streamtest
