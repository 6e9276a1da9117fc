// FilterAutomation: the framework's automation tables of the board's filters, topology nodes and
// pins, built from the property catalogue. Every item names BasicFilter::GetPropertyCallback where it
// answers a get and BasicFilter::SetPropertyCallback where it answers a set; the volume and peak
// items name the audio filter's basic-support handlers; items with a values table carry it as one
// stepped VT_I4 range (with its default where it has one). The video capture filter's table also
// carries the notification event set. One object per board lives as long as the descriptors that
// point into it.
#pragma once
#include "kernel/driverheap.h"
#include "km/ksautomation.h"
#include "km/types.h"
#include "propertycatalogue.h"

class FilterAutomation : public DriverAllocated {
public:
    enum Table : ULONG {
        VideoCaptureFilter,
        AudioCaptureFilter,
        CrossbarFilter,
        VolumeNode,
        MuteNode,
        MuxNode,
        PeakNode,
        AudioInputPin,
        VideoStreamingPin,
        VideoCapturePin,
        TableCount
    };

    FilterAutomation() = default;
    ~FilterAutomation();
    FilterAutomation(const FilterAutomation&) = delete;
    FilterAutomation& operator=(const FilterAutomation&) = delete;

    // Builds every table; STATUS_INSUFFICIENT_RESOURCES (nothing kept) without memory.
    NTSTATUS Build();
    const KSAUTOMATION_TABLE* Get(Table table) const { return &m_tables[table].table; }

private:
    // One table's arrays, in one pool block.
    struct Built {
        KSAUTOMATION_TABLE table;
        PVOID block;
    };
    static NTSTATUS BuildOne(const AutomationCatalogue& catalogue, Built* built);

    Built m_tables[TableCount] = {};
};
