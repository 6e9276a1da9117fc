// The stream engine on a board the driver added and started: the queues add makes (their processor
// masks and worker priorities), the twelve transitions under the device mutex, the lock order over
// whole stream lives, stop, surprise removal and removal with streams open, the readiness check and
// the chain rebuilds per filter kind.
#include "BoardDeviceFixture.h"
#include "FakeProcessorPin.h"
#include "RecordingSink.h"

#include "basicfilter.h"
#include "brevicorrecords.h"
#include "logicalstream.h"
#include "streamprocessor.h"
#include "streamprocessorqueue.h"
#include "videoinputitems.h"

#include "um/cfgmgr32.h"
#include "um/windows.h"

#include <array>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace streamtest {
namespace {

// A filter of the board as the engine sees it: its device number and nothing else.
class EngineFilter : public BasicFilter {
public:
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG) override { return kVideoConnectorType; }
    ULONG GetInputCount() override { return 2; }
    ULONG GetCurrentInput(ULONG, PEPROCESS) override { return 0; }
    ULONG GetCurrentInput(ULONG) override { return 0; }
    NTSTATUS SaveToRegistry() override { return STATUS_SUCCESS; }
};

StreamAudioFormat PcmFormat()
{
    StreamAudioFormat format{};
    format.formatTag = 1;
    format.channels = 2;
    format.samplesPerSecond = 48000;
    format.bitsPerSample = 16;
    format.blockAlign = 4;
    format.averageBytesPerSecond = 192000;
    return format;
}

// The manager double: records whether the calling thread holds the board's device mutex in each
// transition and answers each with a status of its own.
class MutexCheckingManager : public StreamProcessorManager {
public:
    enum Call {
        VideoStopToAcquire, VideoAcquireToPause, VideoPauseToRun, VideoRunToPause, VideoPauseToAcquire,
        VideoAcquireToStop, AudioStopToAcquire, AudioAcquireToPause, AudioPauseToRun, AudioRunToPause,
        AudioPauseToAcquire, AudioAcquireToStop, kCalls
    };
    static NTSTATUS StatusOf(Call call) { return static_cast<NTSTATUS>(0xC00A0000u + call); }

    MutexCheckingManager(Device* device) : StreamProcessorManager(device, nullptr), m_device(device) {}

    NTSTATUS VideoStreamFromStopToAcquire(StreamProcessorPin*, LogicalStream** stream) override
    {
        *stream = nullptr;
        return Note(VideoStopToAcquire);
    }
    NTSTATUS AudioStreamFromStopToAcquire(StreamProcessorPin*, LogicalStream** stream) override
    {
        *stream = nullptr;
        return Note(AudioStopToAcquire);
    }
    NTSTATUS VideoStreamFromAcquireToPause(StreamProcessorPin*) override { return Note(VideoAcquireToPause); }
    NTSTATUS VideoStreamFromPauseToRun(StreamProcessorPin*) override { return Note(VideoPauseToRun); }
    NTSTATUS VideoStreamFromRunToPause(StreamProcessorPin*) override { return Note(VideoRunToPause); }
    NTSTATUS VideoStreamFromPauseToAcquire(StreamProcessorPin*) override { return Note(VideoPauseToAcquire); }
    NTSTATUS VideoStreamFromAcquireToStop(StreamProcessorPin*) override { return Note(VideoAcquireToStop); }
    NTSTATUS AudioStreamFromAcquireToPause(StreamProcessorPin*) override { return Note(AudioAcquireToPause); }
    NTSTATUS AudioStreamFromPauseToRun(StreamProcessorPin*) override { return Note(AudioPauseToRun); }
    NTSTATUS AudioStreamFromRunToPause(StreamProcessorPin*) override { return Note(AudioRunToPause); }
    NTSTATUS AudioStreamFromPauseToAcquire(StreamProcessorPin*) override { return Note(AudioPauseToAcquire); }
    NTSTATUS AudioStreamFromAcquireToStop(StreamProcessorPin*) override { return Note(AudioAcquireToStop); }

    std::array<int, kCalls> calls{};
    std::array<int, kCalls> heldCalls{};

private:
    NTSTATUS Note(Call call)
    {
        ++calls[call];
        heldCalls[call] += standin::KsDeviceMutexHeld(m_device->GetKsDevice()) ? 1 : 0;
        return StatusOf(call);
    }
    Device* m_device;
};

class DeviceStreamServicesTest : public BoardDeviceFixture {
protected:
    void SetUp() override
    {
        BoardDeviceFixture::SetUp();
        factory_.options.usesDsp = false;
        standin::VerifierTakeViolations();
    }

    void TearDown() override
    {
        // The pins go before the board: their streams first.
        if (device_ != nullptr)
            device_->StopAllStreams();
        pins_.clear();
        BoardDeviceFixture::TearDown();
    }

    FakeProcessorPin* Pin(ULONG id, ULONG kind = kStreamingPinKindVideo)
    {
        pins_.push_back(std::make_unique<FakeProcessorPin>(id, &filter_, nullptr, kind));
        if (kind == kStreamingPinKindAudio)
            pins_.back()->SetAudioFormat(PcmFormat());
        return pins_.back().get();
    }

    // A video (or audio) pin from Stop to Run through the device's transitions.
    void Run(FakeProcessorPin* pin, bool audio)
    {
        LogicalStream* stream = nullptr;
        ASSERT_EQ(audio ? device_->AudioStreamFromStopToAcquire(pin, &stream)
                        : device_->VideoStreamFromStopToAcquire(pin, &stream),
                  STATUS_SUCCESS);
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(audio ? device_->AudioStreamFromAcquireToPause(pin) : device_->VideoStreamFromAcquireToPause(pin),
                  STATUS_SUCCESS);
        ASSERT_EQ(audio ? device_->AudioStreamFromPauseToRun(pin) : device_->VideoStreamFromPauseToRun(pin),
                  STATUS_SUCCESS);
        ASSERT_EQ(stream->GetState(), kStreamStateRun);
    }

    void Stop(FakeProcessorPin* pin, bool audio)
    {
        ASSERT_EQ(audio ? device_->AudioStreamFromRunToPause(pin) : device_->VideoStreamFromRunToPause(pin),
                  STATUS_SUCCESS);
        ASSERT_EQ(audio ? device_->AudioStreamFromPauseToAcquire(pin) : device_->VideoStreamFromPauseToAcquire(pin),
                  STATUS_SUCCESS);
        ASSERT_EQ(audio ? device_->AudioStreamFromAcquireToStop(pin) : device_->VideoStreamFromAcquireToStop(pin),
                  STATUS_SUCCESS);
    }

    static size_t LockOrderBreaches()
    {
        size_t n = 0;
        for (const auto& violation : standin::VerifierTakeViolations())
            n += violation.rule == "ks-lock-order" ? 1 : 0;
        return n;
    }

    EngineFilter filter_;
    std::vector<std::unique_ptr<FakeProcessorPin>> pins_;
};

TEST_F(DeviceStreamServicesTest, AddMakesBothQueuesWithTheirMasksAndTheWorkersRunAtTheirPriorities)
{
    StreamProcessorQueue* video = device_->GetVideoStreamProcessorQueue();
    StreamProcessorQueue* audio = device_->GetAudioStreamProcessorQueue();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->GetCapacity(), 9u);
    EXPECT_EQ(audio->GetCapacity(), 9u);
    EXPECT_EQ(standin::ThreadPriority(video->GetWorkerThread()), 16);
    EXPECT_EQ(standin::ThreadPriority(audio->GetWorkerThread()), 20);
    // The thread plug and play added the board on keeps its own priority.
    EXPECT_EQ(standin::ThreadPriority(KeGetCurrentThread()), callerPriorityBefore_);
    EXPECT_EQ(device_->GetInstanceId(), 1);
    const ULONG processors = static_cast<ULONG>(KeNumberProcessors);
    const ULONG mask = static_cast<ULONG>(Device::ComputeProcessorMask(processors, 1));
    char line[96];
    std::snprintf(line, sizeof(line), "Setting VIDEO stream processor queue affinity to 0x%08x", mask);
    EXPECT_EQ(DebugLinesWith(line), 1u) << line;
    std::snprintf(line, sizeof(line), "Setting AUDIO stream processor queue affinity to 0x%08x",
                  static_cast<ULONG>(static_cast<LONG>(mask) >> 1));
    EXPECT_EQ(DebugLinesWith(line), 1u) << line;
}

TEST_F(DeviceStreamServicesTest, TheProcessorMasksCountDownTwoProcessorsABoard)
{
    // Four processors: boards 1, 2 and 3.
    EXPECT_EQ(Device::ComputeProcessorMask(4, 1), 0x8u);
    EXPECT_EQ(Device::ComputeProcessorMask(4, 2), 0x2u);
    EXPECT_EQ(Device::ComputeProcessorMask(4, 3), 0x0u);
    // A board numbered beyond the count shifts by the count; one processor keeps the first board on it.
    EXPECT_EQ(Device::ComputeProcessorMask(4, 5), 0x0u);
    EXPECT_EQ(Device::ComputeProcessorMask(1, 1), 0x1u);
    EXPECT_EQ(Device::ComputeProcessorMask(2, 3), 0x0u);
    // 32 processors: the top bit, and the shift right carries it.
    EXPECT_EQ(Device::ComputeProcessorMask(32, 1), 0x80000000u);
    EXPECT_EQ(Device::ComputeProcessorMask(32, 2), 0xE0000000u);

    // The traces of boards 1 to 3 on four processors: video mask, then the audio one (shifted once).
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"0x00000008", "0x00000004"}, {"0x00000002", "0x00000001"}, {"0x00000000", "0x00000000"}};
    for (LONG id = 1; id <= 3; ++id) {
        standin::DebugOutputClear();
        standin::SetNumberOfProcessors(4);
        auto board = std::make_unique<Device>(driver());
        board->SetInstanceId(id);
        board->CreateStreamProcessorQueues();
        standin::ResetSystemInformation();
        ASSERT_NE(board->GetVideoStreamProcessorQueue(), nullptr);
        EXPECT_EQ(standin::ThreadPriority(board->GetVideoStreamProcessorQueue()->GetWorkerThread()), 16);
        EXPECT_EQ(standin::ThreadPriority(board->GetAudioStreamProcessorQueue()->GetWorkerThread()), 20);
        const auto& [video, audio] = expected[id - 1];
        EXPECT_EQ(DebugLinesWith("Setting VIDEO stream processor queue affinity to " + video), 1u) << id;
        EXPECT_EQ(DebugLinesWith("Setting AUDIO stream processor queue affinity to " + audio), 1u) << id;
    }
}

TEST_F(DeviceStreamServicesTest, EachOfTheTwelveTransitionsHoldsTheDeviceMutexAndReturnsTheManagersStatus)
{
    auto* manager = new MutexCheckingManager(device_);
    device_->SetStreamProcessorManager(manager);
    FakeProcessorPin* pin = Pin(1);
    LogicalStream* stream = reinterpret_cast<LogicalStream*>(&filter_);
    using M = MutexCheckingManager;
    EXPECT_EQ(device_->VideoStreamFromStopToAcquire(pin, &stream), M::StatusOf(M::VideoStopToAcquire));
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(device_->VideoStreamFromAcquireToPause(pin), M::StatusOf(M::VideoAcquireToPause));
    EXPECT_EQ(device_->VideoStreamFromPauseToRun(pin), M::StatusOf(M::VideoPauseToRun));
    EXPECT_EQ(device_->VideoStreamFromRunToPause(pin), M::StatusOf(M::VideoRunToPause));
    EXPECT_EQ(device_->VideoStreamFromPauseToAcquire(pin), M::StatusOf(M::VideoPauseToAcquire));
    EXPECT_EQ(device_->VideoStreamFromAcquireToStop(pin), M::StatusOf(M::VideoAcquireToStop));
    EXPECT_EQ(device_->AudioStreamFromStopToAcquire(pin, &stream), M::StatusOf(M::AudioStopToAcquire));
    EXPECT_EQ(device_->AudioStreamFromAcquireToPause(pin), M::StatusOf(M::AudioAcquireToPause));
    EXPECT_EQ(device_->AudioStreamFromPauseToRun(pin), M::StatusOf(M::AudioPauseToRun));
    EXPECT_EQ(device_->AudioStreamFromRunToPause(pin), M::StatusOf(M::AudioRunToPause));
    EXPECT_EQ(device_->AudioStreamFromPauseToAcquire(pin), M::StatusOf(M::AudioPauseToAcquire));
    EXPECT_EQ(device_->AudioStreamFromAcquireToStop(pin), M::StatusOf(M::AudioAcquireToStop));
    for (int call = 0; call < M::kCalls; ++call) {
        EXPECT_EQ(manager->calls[call], 1) << call;
        EXPECT_EQ(manager->heldCalls[call], 1) << call;
    }
    // Between the calls nobody holds it.
    EXPECT_FALSE(standin::KsDeviceMutexHeld(device_->GetKsDevice()));
}

TEST_F(DeviceStreamServicesTest, AVideoAndAnAudioStreamFromStopToRunAndBackKeepTheLockOrder)
{
    // The board's video capture filter, opened as an application opens it: each transition runs
    // under its control mutex, as the framework's state changes do.
    ULONG length = 0;
    ASSERT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_VIDEO, nullptr, 0), CR_SUCCESS);
    std::vector<WCHAR> list(length + 1, 0);
    ASSERT_EQ(CM_Get_Device_Interface_ListW(&KSCATEGORY_VIDEO, nullptr, list.data(), length, 0), CR_SUCCESS);
    HANDLE file = CreateFileW(list.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    auto factory = static_cast<PKSFILTERFACTORY>(KsGetFirstChild(device_->GetKsDevice()));
    ASSERT_NE(factory, nullptr);
    auto ksFilter = static_cast<PKSFILTER>(KsGetFirstChild(factory));
    ASSERT_NE(ksFilter, nullptr);
    KsAcquireControl(ksFilter);

    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* sound = Pin(0, kStreamingPinKindAudio);
    Run(capture, false);
    Run(sound, true);
    EXPECT_EQ(factory_.videoCreates.load(), 1);
    EXPECT_EQ(factory_.audioCreates.load(), 1);
    StreamProcessorManager* manager = device_->GetStreamProcessorManager();
    ASSERT_NE(manager->GetVideoStreamProcessor(0), nullptr);
    LogicalStream* video = manager->GetVideoStreamProcessor(0)->GetStreamPtr();
    // The streams run on the device's own queues, and a completion's handle finds them.
    EXPECT_EQ(capture->GetStreamProcessorQueue(), device_->GetVideoStreamProcessorQueue());
    EXPECT_EQ(sound->GetStreamProcessorQueue(), device_->GetAudioStreamProcessorQueue());
    const LogicalStreamHandle handle = video->GetHandle();
    EXPECT_TRUE(device_->ValidateLogicalStream(handle));
    Stop(capture, false);
    Stop(sound, true);
    EXPECT_EQ(manager->GetVideoStreamProcessor(0), nullptr);
    EXPECT_EQ(manager->GetAudioStreamProcessor(0), nullptr);
    EXPECT_FALSE(device_->ValidateLogicalStream(handle));
    KsReleaseControl(ksFilter);
    CloseHandle(file);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(DeviceStreamServicesTest, StopWithStreamsInRunDetachesEveryPinBeforeTheStreamsGo)
{
    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* preview = Pin(2);
    FakeProcessorPin* sound = Pin(0, kStreamingPinKindAudio);
    // Each pin's sink sits in its stream's tree.
    for (FakeProcessorPin* pin : {capture, preview, sound}) {
        pin->SetSink(std::make_unique<RecordingSink>());
        pin->SetChainBuilder([pin](AlgorithmList* list) { return list->Append(pin->GetFrameSink()) ? 0 : 1; });
    }
    Run(capture, false);
    Run(preview, false);
    Run(sound, true);
    ASSERT_EQ(device_->ModifyActiveVideoAlgorithmChains(&filter_, 1), STATUS_SUCCESS);
    ASSERT_EQ(device_->ModifyActiveAudioAlgorithmChains(&filter_, 0), STATUS_SUCCESS);
    ASSERT_NE(capture->GetFrameSink()->GetParent(), nullptr);
    ASSERT_NE(sound->GetFrameSink()->GetParent(), nullptr);
    const LogicalStreamHandle handle = capture->GetLogicalStream()->GetHandle();
    EXPECT_EQ(device_->CheckReady(), STATUS_SUCCESS);

    ASSERT_EQ(Pnp(IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
    for (FakeProcessorPin* pin : {capture, preview, sound}) {
        EXPECT_EQ(pin->Detaches(), 1);
        EXPECT_EQ(pin->GetLogicalStream(), nullptr);
        EXPECT_EQ(pin->GetFrameSink()->GetParent(), nullptr);
    }
    EXPECT_EQ(device_->GetStreamProcessorManager()->GetVideoStreamProcessor(0), nullptr);
    EXPECT_EQ(device_->GetStreamProcessorManager()->GetAudioStreamProcessor(0), nullptr);
    EXPECT_FALSE(device_->ValidateLogicalStream(handle));
    EXPECT_EQ(device_->GetLogicalStreamTable()->GetCount(), 0u);
    EXPECT_EQ(device_->CheckReady(), STATUS_DEVICE_NOT_READY);
    // The queues stay with the device until it is removed; a new start streams again.
    EXPECT_NE(device_->GetVideoStreamProcessorQueue(), nullptr);
    ASSERT_EQ(Pnp(IRP_MN_START_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(device_->CheckReady(), STATUS_SUCCESS);
    capture->SetState(kStreamStateStop);
    Run(capture, false);
    EXPECT_EQ(factory_.videoCreates.load(), 2);
}

TEST_F(DeviceStreamServicesTest, SurpriseRemovalStopsTheStreamsThenDestroysTheQueues)
{
    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* sound = Pin(0, kStreamingPinKindAudio);
    Run(capture, false);
    Run(sound, true);
    ASSERT_EQ(Pnp(IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
    EXPECT_EQ(capture->Detaches(), 1);
    EXPECT_EQ(sound->Detaches(), 1);
    EXPECT_EQ(device_->GetVideoStreamProcessorQueue(), nullptr);
    EXPECT_EQ(device_->GetAudioStreamProcessorQueue(), nullptr);
    EXPECT_EQ(device_->GetLogicalStreamTable()->GetCount(), 0u);
    EXPECT_EQ(device_->CheckReady(), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(DeviceStreamServicesTest, RemovalWithStreamsInRunStopsThemWhileTheQueuesStillStand)
{
    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* sound = Pin(0, kStreamingPinKindAudio);
    // What each pin finds of the board when the removal detaches it.
    int queuesAtDetach = 0;
    ServicesTestDevice* device = device_;
    for (FakeProcessorPin* pin : {capture, sound})
        pin->SetOnDetach([&queuesAtDetach, device] {
            queuesAtDetach +=
                device->GetVideoStreamProcessorQueue() != nullptr && device->GetAudioStreamProcessorQueue() != nullptr;
        });
    Run(capture, false);
    Run(sound, true);
    ASSERT_EQ(Pnp(IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    device_ = nullptr; // the framework's device took the board with it
    EXPECT_EQ(capture->Detaches(), 1);
    EXPECT_EQ(sound->Detaches(), 1);
    EXPECT_EQ(queuesAtDetach, 2);
    EXPECT_EQ(capture->GetLogicalStream(), nullptr);
    EXPECT_EQ(sound->GetLogicalStream(), nullptr);
    EXPECT_EQ(factory_.videoCreates.load(), 1);
    EXPECT_EQ(factory_.audioCreates.load(), 1);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(DeviceStreamServicesTest, TheNotificationWalkNeverWaitsForTheDeviceMutex)
{
    // The walk also runs on the DSP's response thread, while a property handler may hold the device
    // mutex waiting for an answer only that thread can deliver: it must go through meanwhile.
    EngineFilter video;
    video.SetDeviceNumber(1);
    ASSERT_EQ(device_->GetFilterInstanceId(Device::FilterTable::VideoCapture, &video), 1);
    device_->TakeNotifications();
    std::promise<void> held;
    std::promise<void> walked;
    PKSDEVICE ksDevice = device_->GetKsDevice();
    std::thread handler([&] {
        KsAcquireDevice(ksDevice);
        held.set_value();
        walked.get_future().wait();
        KsReleaseDevice(ksDevice);
    });
    held.get_future().wait();
    UCHAR payload[32];
    for (size_t i = 0; i < sizeof payload; ++i)
        payload[i] = static_cast<UCHAR>(i + 1);
    device_->FireNotificationEvent(PROPSETID_BREVICOR_CROP, sizeof payload, payload);
    walked.set_value();
    handler.join();
    const auto notifications = device_->TakeNotifications();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].filter, &video);
    EXPECT_TRUE(notifications[0].propertySet == PROPSETID_BREVICOR_CROP);
    EXPECT_EQ(notifications[0].payload, std::vector<UCHAR>(payload, payload + sizeof payload));
    device_->RemoveFilterInstanceId(Device::FilterTable::VideoCapture, &video);
}

TEST_F(DeviceStreamServicesTest, TheChainRebuildsReachOnlyThePinsOfTheirKind)
{
    FakeProcessorPin* capture = Pin(1);
    FakeProcessorPin* sound = Pin(0, kStreamingPinKindAudio);
    Run(capture, false);
    Run(sound, true);
    EXPECT_EQ(device_->ModifyActiveAudioAlgorithmChains(&filter_, 0), STATUS_SUCCESS);
    EXPECT_EQ(sound->Builds(), 1);
    EXPECT_EQ(capture->Builds(), 0);
    EXPECT_EQ(device_->ModifyActiveVideoAlgorithmChains(&filter_, 1), STATUS_SUCCESS);
    EXPECT_EQ(capture->Builds(), 1);
    EXPECT_EQ(sound->Builds(), 1);
    EXPECT_EQ(device_->ModifyActiveVideoAlgorithmChains(nullptr, 1), static_cast<NTSTATUS>(0xC0071054));
    EXPECT_EQ(device_->ModifyActiveAudioAlgorithmChains(nullptr, 0), static_cast<NTSTATUS>(0xC0071055));
    Stop(capture, false);
    Stop(sound, true);
}

class DeviceBeforeStartTest : public BoardDeviceFixture {
protected:
    bool StartsBoard() const override { return false; }
};

TEST_F(DeviceBeforeStartTest, TheBoardIsNotReadyUntilItsStartCompletes)
{
    EXPECT_EQ(device_->CheckReady(), STATUS_DEVICE_NOT_READY);
    ASSERT_EQ(Pnp(IRP_MN_START_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(device_->CheckReady(), STATUS_SUCCESS);
    // Removal takes the queues with it.
    ASSERT_EQ(Pnp(IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    device_ = nullptr;
}

TEST_F(DeviceBeforeStartTest, StartNamesTheAudioFiltersAddBuiltNotTheCombinedOne)
{
    // Kernel version 6 with "LegacyAudioFilters" set, as it is by default: add built one filter per
    // input, and start names that filter, though no audio configuration ran without hardware.
    ASSERT_FALSE(device_->HasCombinedAudioFilter());
    ASSERT_NE(device_->GetLegacyAudioFilters(), 0u);
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryText(
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
        "MediaCategories\\{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}]\n\"Name\"=\"SDI Audio 1\"\n",
        &error))
        << error.line << ": " << error.message;
    ASSERT_EQ(Pnp(IRP_MN_START_DEVICE), STATUS_SUCCESS);
    std::vector<std::u16string> names;
    ULONG length = 0;
    ASSERT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_AUDIO, nullptr, 0), CR_SUCCESS);
    std::vector<WCHAR> list(length + 1, 0);
    ASSERT_EQ(CM_Get_Device_Interface_ListW(&KSCATEGORY_AUDIO, nullptr, list.data(), length, 0), CR_SUCCESS);
    for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
        WCHAR name[256] = {};
        ULONG size = sizeof(name);
        DEVPROPTYPE type = 0;
        ASSERT_EQ(CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                    reinterpret_cast<PBYTE>(name), &size, 0),
                  CR_SUCCESS);
        names.push_back(name);
    }
    EXPECT_EQ(names, std::vector<std::u16string>{u"SDI Audio 1 (Talvexon HD 1)"});
}

// A board with hardware, added on PCI bus 1 as device 0, function 0.
class DevicePciLocationTest : public BoardDeviceFixture {
protected:
    std::string Parameters() const override { return "\"HardwareInstalled\"=dword:00000001\n"; }
    bool StartsBoard() const override { return false; }
    void Describe(standin::PhysicalDeviceProperties& properties) const override
    {
        properties.busNumber = 1;
        properties.address = 0;
    }
};

TEST_F(DevicePciLocationTest, TheDeviceConfigurationNamesTheBoardsPciLocationAndNumber)
{
    BrevicorDeviceConfigRecord config{};
    ASSERT_EQ(device_->GetDeviceConfig(&config), STATUS_SUCCESS);
    EXPECT_EQ(config.driverVersion[0], 2u);
    EXPECT_EQ(config.driverVersion[1], 1u);
    EXPECT_EQ(config.driverVersion[2], 62u);
    EXPECT_EQ(config.driverVersion[3], 0u);
    EXPECT_EQ(config.boardModel, 1u);
    EXPECT_EQ(config.hardwareByteA, 1u);
    EXPECT_EQ(config.hardwareByteB, 0u);
    EXPECT_EQ(config.hardwareByteC, 0u);
    EXPECT_EQ(config.hardwareWordD, 1u);
    EXPECT_EQ(std::u16string(config.productName), u"Talvexon HD ");
}

} // namespace
} // namespace streamtest
