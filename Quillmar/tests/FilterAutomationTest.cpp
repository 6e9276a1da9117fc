// The automation tables built from the property catalogue: every set and item of every table with
// its lengths, its handlers as get and set say, its values and its basic-support handler, and the
// video capture filter's event.
#include <gtest/gtest.h>

#include "basicaudiofilter.h"
#include "basicfilter.h"
#include "brevicorrecords.h"
#include "filterautomation.h"
#include "km/status.h"
#include "propertycatalogue.h"

#include <cstring>

namespace {

struct Pair {
    FilterAutomation::Table table;
    const AutomationCatalogue& (*catalogue)();
};

const Pair kPairs[] = {
    {FilterAutomation::VideoCaptureFilter, &GetVideoCaptureFilterCatalogue},
    {FilterAutomation::AudioCaptureFilter, &GetAudioCaptureFilterCatalogue},
    {FilterAutomation::CrossbarFilter, &GetCrossbarFilterCatalogue},
    {FilterAutomation::VolumeNode, &GetAudioVolumeNodeCatalogue},
    {FilterAutomation::MuteNode, &GetAudioMuteNodeCatalogue},
    {FilterAutomation::MuxNode, &GetAudioMuxNodeCatalogue},
    {FilterAutomation::PeakNode, &GetAudioPeakNodeCatalogue},
    {FilterAutomation::AudioInputPin, &GetAudioInputPinCatalogue},
    {FilterAutomation::VideoStreamingPin, &GetVideoStreamingPinCatalogue},
    {FilterAutomation::VideoCapturePin, &GetVideoCapturePinCatalogue},
};

TEST(FilterAutomationTest, EveryCatalogueItemIsInItsTableAsTheCatalogueSays)
{
    FilterAutomation automation;
    ASSERT_EQ(automation.Build(), STATUS_SUCCESS);
    for (const Pair& pair : kPairs) {
        const AutomationCatalogue& catalogue = pair.catalogue();
        const KSAUTOMATION_TABLE* table = automation.Get(pair.table);
        ASSERT_EQ(table->PropertySetsCount, catalogue.setCount) << pair.table;
        EXPECT_EQ(table->PropertyItemSize, sizeof(KSPROPERTY_ITEM));
        for (ULONG s = 0; s < catalogue.setCount; ++s) {
            const KSPROPERTY_SET& set = table->PropertySets[s];
            ASSERT_EQ(*set.Set, *catalogue.sets[s].set) << catalogue.sets[s].name;
            ASSERT_EQ(set.PropertiesCount, catalogue.sets[s].itemCount) << catalogue.sets[s].name;
            for (ULONG i = 0; i < set.PropertiesCount; ++i) {
                const KSPROPERTY_ITEM& item = set.PropertyItem[i];
                const PropertyCatalogueItem& source = catalogue.sets[s].items[i];
                SCOPED_TRACE(std::string(catalogue.sets[s].name) + " item " + std::to_string(source.id));
                EXPECT_EQ(item.PropertyId, source.id);
                EXPECT_EQ(item.MinProperty, source.minProperty);
                EXPECT_EQ(item.MinData, source.minData);
                EXPECT_EQ(item.GetPropertyHandler, source.get ? &BasicFilter::GetPropertyCallback : nullptr);
                EXPECT_EQ(item.SetPropertyHandler, source.set ? &BasicFilter::SetPropertyCallback : nullptr);
                if (source.support == PropertySupportHandler::Volume)
                    EXPECT_EQ(item.SupportHandler, &BasicAudioFilter::PropHandlerVolume);
                else if (source.support == PropertySupportHandler::Peak)
                    EXPECT_EQ(item.SupportHandler, &BasicAudioFilter::PropHandlerPeak);
                else
                    EXPECT_EQ(item.SupportHandler, nullptr);
                if (source.values == nullptr) {
                    EXPECT_EQ(item.Values, nullptr);
                    continue;
                }
                ASSERT_NE(item.Values, nullptr);
                EXPECT_EQ(item.Values->PropTypeSet.Set, KSPROPTYPESETID_General);
                EXPECT_EQ(item.Values->PropTypeSet.Id, 3u); // a 32-bit signed integer
                ASSERT_EQ(item.Values->MembersListCount, source.values->hasDefault ? 2u : 1u);
                const KSPROPERTY_MEMBERSLIST& range = item.Values->MembersList[0];
                EXPECT_EQ(range.MembersHeader.MembersFlags, ULONG(KSPROPERTY_MEMBER_STEPPEDRANGES));
                EXPECT_EQ(range.MembersHeader.MembersCount, 1u);
                KSPROPERTY_STEPPING_LONG stepping{};
                std::memcpy(&stepping, range.Members, sizeof(stepping));
                EXPECT_EQ(LONG(stepping.SteppingDelta), source.values->step);
                EXPECT_EQ(stepping.Bounds.SignedMinimum, source.values->minimum);
                EXPECT_EQ(stepping.Bounds.SignedMaximum, source.values->maximum);
                if (source.values->hasDefault) {
                    const KSPROPERTY_MEMBERSLIST& value = item.Values->MembersList[1];
                    EXPECT_EQ(value.MembersHeader.Flags, ULONG(KSPROPERTY_MEMBER_FLAG_DEFAULT));
                    LONG defaultValue = 0;
                    std::memcpy(&defaultValue, value.Members, sizeof(defaultValue));
                    EXPECT_EQ(defaultValue, source.values->defaultValue);
                }
            }
        }
    }
}

TEST(FilterAutomationTest, OnlyTheVideoCaptureFilterCarriesTheNotificationEvent)
{
    FilterAutomation automation;
    ASSERT_EQ(automation.Build(), STATUS_SUCCESS);
    const KSAUTOMATION_TABLE* video = automation.Get(FilterAutomation::VideoCaptureFilter);
    ASSERT_EQ(video->EventSetsCount, 1u);
    EXPECT_EQ(*video->EventSets[0].Set, KSEVENTSETID_BREVICOR_NOTIFICATION);
    ASSERT_EQ(video->EventSets[0].EventsCount, 1u);
    EXPECT_EQ(video->EventSets[0].EventItem[0].EventId, 0u);
    EXPECT_EQ(video->EventSets[0].EventItem[0].DataInput, 1124u);
    for (const Pair& pair : kPairs) {
        if (pair.table != FilterAutomation::VideoCaptureFilter) {
            EXPECT_EQ(automation.Get(pair.table)->EventSetsCount, 0u) << pair.table;
        }
    }
}

} // namespace
