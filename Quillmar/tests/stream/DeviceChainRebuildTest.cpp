// What a settings change does to the running chains of a started board: a loss-of-signal set is
// announced once on the open video capture filters and rebuilds the capture, preview and audio
// chains when it changed something; an audio configuration change rebuilds the audio chains; a
// volume change reaches the volume step of a running audio chain, or rebuilds the chain when
// the step is shared.
#include "BoardDeviceFixture.h"
#include "FakeProcessorPin.h"
#include "RecordingSink.h"

#include "algorithmlist.h"
#include "audioinputitems.h"
#include "basicfilter.h"
#include "brevicorrecords.h"
#include "caudiovolumecontrol.h"
#include "ccolorspaces.h"
#include "procamptables.h"
#include "videocapturefilter.h"
#include "logicalstream.h"

#include <cstring>
#include <memory>
#include <vector>

namespace streamtest {
namespace {

class RebuildFilter : public BasicFilter {
public:
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG) override { return kVideoConnectorType; }
    ULONG GetInputCount() override { return 1; }
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

class DeviceChainRebuildTest : public BoardDeviceFixture {
protected:
    void SetUp() override
    {
        BoardDeviceFixture::SetUp();
        factory_.options.usesDsp = false;
        ASSERT_GT(device_->GetFilterInstanceId(Device::FilterTable::VideoCapture, &video_), 0);
        ASSERT_GT(device_->GetFilterInstanceId(Device::FilterTable::AudioCapture, &audio_), 0);
        device_->TakeNotifications();
    }

    void TearDown() override
    {
        if (device_ != nullptr) {
            device_->StopAllStreams();
            device_->RemoveFilterInstanceId(Device::FilterTable::VideoCapture, &video_);
            device_->RemoveFilterInstanceId(Device::FilterTable::AudioCapture, &audio_);
        }
        pins_.clear();
        BoardDeviceFixture::TearDown();
    }

    // A pin whose chain is its sink alone.
    FakeProcessorPin* Pin(ULONG id, bool audio)
    {
        pins_.push_back(std::make_unique<FakeProcessorPin>(id, audio ? static_cast<BasicFilter*>(&audio_) : &video_,
                                                           nullptr, audio ? kStreamingPinKindAudio : kStreamingPinKindVideo));
        FakeProcessorPin* pin = pins_.back().get();
        if (audio)
            pin->SetAudioFormat(PcmFormat());
        pin->SetSink(std::make_unique<RecordingSink>());
        pin->SetChainBuilder([pin](AlgorithmList* list) {
            // As the pins do: the sink leaves its old place before the new chain takes it.
            Algorithm* sink = pin->GetFrameSink();
            if (sink->GetParent() != nullptr)
                sink->GetParent()->RemoveFromChildList(sink);
            return list->Append(sink) ? 0 : 1;
        });
        return pin;
    }

    void Run(FakeProcessorPin* pin, bool audio)
    {
        LogicalStream* stream = nullptr;
        ASSERT_EQ(audio ? device_->AudioStreamFromStopToAcquire(pin, &stream)
                        : device_->VideoStreamFromStopToAcquire(pin, &stream),
                  STATUS_SUCCESS);
        ASSERT_EQ(audio ? device_->AudioStreamFromAcquireToPause(pin) : device_->VideoStreamFromAcquireToPause(pin),
                  STATUS_SUCCESS);
        ASSERT_EQ(audio ? device_->AudioStreamFromPauseToRun(pin) : device_->VideoStreamFromPauseToRun(pin),
                  STATUS_SUCCESS);
    }

    BrevicorLOSRecord StoredLOS()
    {
        BrevicorLOSRecord record{};
        EXPECT_EQ(device_->GetLOSSettings(&record), STATUS_SUCCESS);
        return record;
    }

    std::vector<ServicesTestDevice::Notification> LOSNotifications()
    {
        std::vector<ServicesTestDevice::Notification> found;
        for (auto& n : device_->TakeNotifications())
            if (IsEqualGUID(n.propertySet, PROPSETID_BREVICOR_LOS))
                found.push_back(std::move(n));
        return found;
    }

    RebuildFilter video_;
    RebuildFilter audio_;
    std::vector<std::unique_ptr<FakeProcessorPin>> pins_;
};

TEST_F(DeviceChainRebuildTest, ALossOfSignalSetIsAnnouncedOnceAndRebuildsOnlyWhenItChangedSomething)
{
    FakeProcessorPin* capture = Pin(1, false);
    FakeProcessorPin* preview = Pin(2, false);
    FakeProcessorPin* closedCaption = Pin(3, false);
    FakeProcessorPin* sound = Pin(0, true);
    Run(capture, false);
    Run(preview, false);
    Run(closedCaption, false);
    Run(sound, true);
    const int captionBuilds = closedCaption->Builds();

    BrevicorLOSRecord record = StoredLOS();
    record.fromRegistry = 0; // the kept record came from the registry at start
    record.videoEnable = 1;
    record.videoSignalType = 9; // out of range: kept as 0
    record.destinationTop = 17;
    record.foregroundColor = 0x00123456;
    record.oddChannelsTone = 1;
    std::memcpy(record.caption, u"Gone", sizeof(u"Gone"));
    ASSERT_EQ(device_->SetLOSSettings(&record), STATUS_SUCCESS);

    auto notes = LOSNotifications();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].filter, &video_);
    ASSERT_EQ(notes[0].payload.size(), 1092u);
    BrevicorLOSNotification payload;
    std::memcpy(&payload, notes[0].payload.data(), sizeof(payload));
    EXPECT_EQ(payload.oddChannelsTone, 1u);
    EXPECT_EQ(payload.videoEnable, 1u);
    EXPECT_EQ(payload.destinationTop, 17u);
    EXPECT_EQ(payload.foregroundColor, 0x00123456u);
    EXPECT_EQ(payload.videoSignalType, 0u);
    EXPECT_EQ(std::memcmp(payload.caption, u"Gone", sizeof(u"Gone")), 0);
    // The payload is the record without its no-save word.
    const BrevicorLOSRecord stored = StoredLOS();
    EXPECT_EQ(std::memcmp(notes[0].payload.data(), reinterpret_cast<const UCHAR*>(&stored) + 24, 48), 0);
    EXPECT_EQ(std::memcmp(notes[0].payload.data() + 48, reinterpret_cast<const UCHAR*>(&stored) + 76, 1044), 0);

    EXPECT_EQ(capture->Builds(), 1);
    EXPECT_EQ(preview->Builds(), 1);
    EXPECT_EQ(sound->Builds(), 1);
    EXPECT_EQ(closedCaption->Builds(), captionBuilds);

    // The same values again: announced, nothing rebuilt.
    record = stored;
    ASSERT_EQ(device_->SetLOSSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(LOSNotifications().size(), 1u);
    EXPECT_EQ(capture->Builds(), 1);
    EXPECT_EQ(sound->Builds(), 1);

    // From the registry: a change rebuilds, but nothing is announced.
    record = stored;
    record.fromRegistry = 1;
    record.destinationLeft = 99;
    ASSERT_EQ(device_->SetLOSSettings(&record), STATUS_SUCCESS);
    EXPECT_TRUE(LOSNotifications().empty());
    EXPECT_EQ(capture->Builds(), 2);
    EXPECT_EQ(preview->Builds(), 2);
    EXPECT_EQ(sound->Builds(), 2);

    // A refused set announces nothing and rebuilds nothing.
    record = StoredLOS();
    record.fromRegistry = 0;
    record.videoEnable = 1;
    std::memcpy(record.fontFileName, u"C:\\missing.fnt", sizeof(u"C:\\missing.fnt"));
    EXPECT_NE(device_->SetLOSSettings(&record), STATUS_SUCCESS);
    EXPECT_TRUE(LOSNotifications().empty());
    EXPECT_EQ(capture->Builds(), 2);
}

TEST_F(DeviceChainRebuildTest, AnAudioConfigurationChangeRebuildsTheAudioChainsAndAnUnchangedOneDoesNot)
{
    FakeProcessorPin* capture = Pin(1, false);
    FakeProcessorPin* sound = Pin(0, true);
    Run(capture, false);
    Run(sound, true);

    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    BrevicorAudioConfigRecord same = record;
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&same), STATUS_SUCCESS);
    EXPECT_EQ(sound->Builds(), 0);

    BrevicorAudioConfigRecord bypass = record;
    bypass.volumeAdjustmentDisabled[0] = bypass.volumeAdjustmentDisabled[0] != 0 ? 0 : 1;
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&bypass), STATUS_SUCCESS);
    EXPECT_EQ(sound->Builds(), 1);
    EXPECT_EQ(capture->Builds(), 0);

    // A refused record rebuilds nothing.
    BrevicorAudioConfigRecord bad = record;
    bad.daughterCardEnable = 2;
    EXPECT_NE(device_->SetAudioConfigurationSettings(&bad), STATUS_SUCCESS);
    EXPECT_EQ(sound->Builds(), 1);
}

TEST_F(DeviceChainRebuildTest, AVolumeChangeReachesTheVolumeStepOfItsInputOrRebuildsASharedOne)
{
    FakeProcessorPin* sound = Pin(0, true);
    // The pin's chain: a volume step of input 0, then its sink.
    sound->SetChainBuilder([sound](AlgorithmList* list) {
        auto* volume = new CAudioVolumeControl();
        volume->SetInput(0);
        if (volume->SetChannelPairCount(1) != STATUS_SUCCESS || !list->Append(volume)) {
            delete volume;
            return 1;
        }
        // As the pins do: the sink leaves its old place before the new chain takes it.
        Algorithm* sink = sound->GetFrameSink();
        if (sink->GetParent() != nullptr)
            sink->GetParent()->RemoveFromChildList(sink);
        return list->Append(sink) ? 0 : 1;
    });
    Run(sound, true);
    ASSERT_EQ(device_->ModifyActiveAudioAlgorithmChains(&audio_, 0), STATUS_SUCCESS);
    Algorithm* sink = sound->GetFrameSink();
    ASSERT_NE(sink->GetParent(), nullptr);
    auto* step = static_cast<CAudioVolumeControl*>(sink->FindParentWithId(kAlgorithmIdVolume));
    ASSERT_NE(step, nullptr);
    const int builds = sound->Builds();

    AudioInputItems* inputs = device_->GetAudioInputItems();
    ASSERT_EQ(inputs->SetVolumeLevel(0, 0, 0, -65536 * 6), STATUS_SUCCESS);
    ASSERT_EQ(inputs->SetVolumeLevel(0, 0, 1, -65536 * 3), STATUS_SUCCESS);
    ASSERT_EQ(inputs->SetMute(0, 0, 1, 1), STATUS_SUCCESS);

    // Another input's change leaves the step alone.
    device_->ModifyAudioVolumeControlChains(1);
    LONG level = 0, mute = 0;
    ASSERT_EQ(step->GetVolume(0, 0, &level, &mute), STATUS_SUCCESS);
    EXPECT_EQ(level, 0);

    device_->ModifyAudioVolumeControlChains(0);
    ASSERT_EQ(step->GetVolume(0, 0, &level, &mute), STATUS_SUCCESS);
    EXPECT_EQ(level, -65536 * 6);
    EXPECT_EQ(mute, 0);
    ASSERT_EQ(step->GetVolume(0, 1, &level, &mute), STATUS_SUCCESS);
    EXPECT_EQ(level, -65536 * 3);
    EXPECT_EQ(mute, 1);
    EXPECT_EQ(sound->Builds(), builds); // refreshed in place

    // A second child under the step: it is shared, so the pin's chains are rebuilt instead.
    RecordingSink other;
    ASSERT_TRUE(step->AddToChildList(&other));
    ASSERT_EQ(inputs->SetVolumeLevel(0, 0, 0, -65536), STATUS_SUCCESS);
    device_->ModifyAudioVolumeControlChains(0);
    ASSERT_TRUE(step->RemoveFromChildList(&other));
    EXPECT_EQ(sound->Builds(), builds + 1);
}

TEST_F(DeviceChainRebuildTest, NewProcAmpValuesReachARunningColourStepInPlaceOrRebuildAStepItShares)
{
    VideoCaptureFilter filter;
    filter.SetDevice(device_);
    pins_.push_back(std::make_unique<FakeProcessorPin>(1, &filter, nullptr, kStreamingPinKindVideo));
    FakeProcessorPin* capture = pins_.back().get();
    capture->SetSink(std::make_unique<RecordingSink>());
    // The pin's chain: a colour step at neutral values, then its sink.
    capture->SetChainBuilder([capture](AlgorithmList* list) {
        auto* colour = new CColorSpaces();
        if (!list->Append(colour)) {
            delete colour;
            return 1;
        }
        Algorithm* sink = capture->GetFrameSink();
        if (sink->GetParent() != nullptr)
            sink->GetParent()->RemoveFromChildList(sink);
        return list->Append(sink) ? 0 : 1;
    });
    Run(capture, false);
    ASSERT_EQ(device_->ModifyActiveAlgorithmChains(&filter, 1), STATUS_SUCCESS);
    Algorithm* sink = capture->GetFrameSink();
    auto* step = static_cast<CColorSpaces*>(sink->FindParentWithId(kAlgorithmIdProcAmp));
    ASSERT_NE(step, nullptr);
    const int builds = capture->Builds();

    auto record = std::make_unique<BrevicorProcAmpRecord>();
    record->brightness.value = 10;
    record->contrast.value = 120;
    record->hue.value = 30;
    record->saturation.value = 20;
    record->gamma.value = 100;
    ASSERT_TRUE(ComputeProcAmpTables(reinterpret_cast<uint8_t*>(record.get()), sizeof(*record)));
    ASSERT_EQ(filter.ModifyVideoProcAmpAlgorithm(1, record.get()), STATUS_SUCCESS);
    EXPECT_EQ(capture->Builds(), builds); // in place
    ProcAmpBlock settings = step->GetSettings();
    const LONG words[10] = {30, 0, 20, 0, 120, 100, 100, 100, 10, 0};
    EXPECT_EQ(std::memcmp(&settings, words, sizeof(words)), 0);
    EXPECT_EQ(std::memcmp(settings.lumaTable, record->gammaTable, 256), 0);
    EXPECT_EQ(std::memcmp(settings.sineTable, record->sineTable, 1024), 0);
    EXPECT_EQ(std::memcmp(settings.cosineTable, record->cosineTable, 1024), 0);
    EXPECT_TRUE(step->IsBrightnessContrastGammaActive());
    EXPECT_TRUE(step->IsHueSaturationActive());

    // No running pin of that type: nothing is touched.
    ASSERT_EQ(filter.ModifyVideoProcAmpAlgorithm(2, record.get()), STATUS_SUCCESS);
    EXPECT_EQ(capture->Builds(), builds);

    // A second branch under the step: the step serves two pins, so the chain is rebuilt instead.
    RecordingSink other;
    ASSERT_TRUE(step->AddToChildList(&other));
    record->hue.value = -45;
    ASSERT_EQ(filter.ModifyVideoProcAmpAlgorithm(1, record.get()), STATUS_SUCCESS);
    EXPECT_EQ(step->GetSettings().hue, 30);
    ASSERT_TRUE(step->RemoveFromChildList(&other));
    EXPECT_EQ(capture->Builds(), builds + 1);
    // The pin goes before its filter.
    device_->StopAllStreams();
}

} // namespace
} // namespace streamtest
