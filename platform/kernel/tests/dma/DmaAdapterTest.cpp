// IoGetDmaAdapter and PutDmaAdapter: the descriptions the bus serves and refuses, the map registers
// granted, bad arguments, an injected failure, and the checks of putting an adapter.
#include "DmaTestSupport.h"

#include "km/status.h"
#include "standin/devices.h"
#include "standin/dma.h"

namespace {

using dmatest::BusMasterDescription;
using dmatest::DmaTest;
using Strings = std::vector<std::string>;

TEST_F(DmaTest, BusMasterGetsAnAdapterWithItsOperationsAndMapRegisters)
{
    ULONG mapRegisters = 0;
    PDMA_ADAPTER adapter = GetAdapter(&mapRegisters);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->Version, 1);
    EXPECT_EQ(adapter->Size, sizeof(DMA_ADAPTER));
    ASSERT_NE(adapter->DmaOperations, nullptr);
    EXPECT_EQ(adapter->DmaOperations->Size, sizeof(DMA_OPERATIONS));
    EXPECT_NE(adapter->DmaOperations->AllocateCommonBuffer, nullptr);
    EXPECT_NE(adapter->DmaOperations->FreeCommonBuffer, nullptr);
    // 65,535 bytes span 16 pages.
    EXPECT_EQ(mapRegisters, 16u);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 1u);
    adapter->DmaOperations->PutDmaAdapter(adapter);
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 0u);
    EXPECT_TRUE(TakeRules().empty());
}

TEST_F(DmaTest, MapRegistersArePagesOfTheMaximumLengthUpToTheLimit)
{
    const std::pair<ULONG, ULONG> cases[] = {{0, 0}, {1, 1}, {4096, 1}, {4097, 2}, {65536, 16},
                                             {1u << 20, 256}, {0xFFFFFFFF, standin::kDmaMaxMapRegisters}};
    for (const auto& [length, expected] : cases) {
        DEVICE_DESCRIPTION description = BusMasterDescription(length);
        ULONG registers = 12345;
        PDMA_ADAPTER adapter = IoGetDmaAdapter(pdo, &description, &registers);
        ASSERT_NE(adapter, nullptr) << length;
        EXPECT_EQ(registers, expected) << length;
        adapter->DmaOperations->PutDmaAdapter(adapter);
    }
}

TEST_F(DmaTest, DescriptionsTheBusCannotServeGetNoAdapterAndNoBreach)
{
    DEVICE_DESCRIPTION notMaster = BusMasterDescription();
    notMaster.Master = FALSE;
    DEVICE_DESCRIPTION narrow = BusMasterDescription();
    narrow.Dma32BitAddresses = FALSE;
    DEVICE_DESCRIPTION unknownVersion = BusMasterDescription();
    unknownVersion.Version = 3;
    for (DEVICE_DESCRIPTION* description : {&notMaster, &narrow, &unknownVersion}) {
        ULONG registers = 0;
        EXPECT_EQ(IoGetDmaAdapter(pdo, description, &registers), nullptr);
    }
    // 64-bit addressing alone and the later versions are served.
    DEVICE_DESCRIPTION wide = BusMasterDescription();
    wide.Dma32BitAddresses = FALSE;
    wide.Dma64BitAddresses = TRUE;
    wide.Version = DEVICE_DESCRIPTION_VERSION2;
    ULONG registers = 0;
    PDMA_ADAPTER adapter = IoGetDmaAdapter(pdo, &wide, &registers);
    ASSERT_NE(adapter, nullptr);
    adapter->DmaOperations->PutDmaAdapter(adapter);
    EXPECT_TRUE(TakeRules().empty());
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 0u);
}

TEST_F(DmaTest, BadArgumentsAreBreachesAndGetNoAdapter)
{
    DEVICE_DESCRIPTION description = BusMasterDescription();
    ULONG registers = 0;
    EXPECT_EQ(IoGetDmaAdapter(nullptr, &description, &registers), nullptr);
    // A device object a driver made is not a physical device object.
    PDRIVER_OBJECT driver = standin::CreateDriverObject(u"DmaTestDriver");
    ASSERT_NE(driver, nullptr);
    PDEVICE_OBJECT functional = nullptr;
    ASSERT_EQ(IoCreateDevice(driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &functional), STATUS_SUCCESS);
    EXPECT_EQ(IoGetDmaAdapter(functional, &description, &registers), nullptr);
    IoDeleteDevice(functional);
    standin::DeleteDriverObject(driver);
    EXPECT_EQ(IoGetDmaAdapter(pdo, nullptr, &registers), nullptr);
    EXPECT_EQ(IoGetDmaAdapter(pdo, &description, nullptr), nullptr);
    EXPECT_EQ(TakeRules(), (Strings{"bad-argument", "bad-argument", "bad-argument", "bad-argument"}));
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 0u);
}

TEST_F(DmaTest, InjectedFailureRefusesTheNextAdapterOnly)
{
    standin::DmaFailNextAdapter();
    EXPECT_EQ(GetAdapter(), nullptr);
    PDMA_ADAPTER adapter = GetAdapter();
    ASSERT_NE(adapter, nullptr);
    adapter->DmaOperations->PutDmaAdapter(adapter);
}

TEST_F(DmaTest, PuttingTwiceOrSomethingElseIsABreachAndChangesNothing)
{
    PDMA_ADAPTER adapter = GetAdapter();
    ASSERT_NE(adapter, nullptr);
    PPUT_DMA_ADAPTER put = adapter->DmaOperations->PutDmaAdapter;
    put(adapter);
    put(adapter);
    DMA_ADAPTER forged = *adapter;
    put(&forged);
    EXPECT_EQ(TakeRules(), (Strings{"dma", "bad-object"}));
    EXPECT_EQ(standin::DmaUsageTotal().outstandingAdapters, 0u);
}

TEST_F(DmaTest, AdapterNotPutIsALeak)
{
    PDMA_ADAPTER adapter = GetAdapter();
    ASSERT_NE(adapter, nullptr);
    const auto leaks = DmaLeaks();
    ASSERT_EQ(leaks.size(), 1u);
    EXPECT_EQ(leaks[0].rfind("dma: adapter ", 0), 0u) << leaks[0];
    EXPECT_NE(leaks[0].find("never put"), std::string::npos) << leaks[0];
    adapter->DmaOperations->PutDmaAdapter(adapter);
}

TEST_F(DmaTest, AboveThePassiveLevelIsAnIrqlBreach)
{
    KIRQL old = 0;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    PDMA_ADAPTER adapter = GetAdapter();
    KeLowerIrql(old);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(TakeRules(), (Strings{"irql"}));
    adapter->DmaOperations->PutDmaAdapter(adapter);
}

} // namespace
