// What the proxy knows of each pin factory of the filter it stands for: read through the pin property
// set of the filter's handle, or, for a filter registered without kernel-streaming pins, parsed from
// the "FilterData" value of its interface key.
#pragma once
#include "um/ks.h"
#include "um/strmif.h"

#include <string>
#include <vector>

namespace ksproxy {

struct PinFactory {
    ULONG id = 0;
    KSPIN_DATAFLOW dataFlow = KSPIN_DATAFLOW_OUT;
    KSPIN_COMMUNICATION communication = KSPIN_COMMUNICATION_NONE;
    GUID category{}; // GUID_NULL when the pin names none
    std::u16string name;
    std::vector<KSPIN_MEDIUM> mediums;
    std::vector<std::vector<BYTE>> ranges; // each data range's bytes, in the driver's order
    KSPIN_CINSTANCES instances{};
    // Connects by medium alone: a bridge pin, a pin that does not communicate, or a pin of a filter
    // without kernel-streaming pins. No kernel pin is ever made for it.
    bool mediumOnly = false;
};

// One KSPROPSETID_Pin request about pin `pinId` of the filter: the answer's bytes (a size query
// first when the answer's size is not known). S_OK or the request's HRESULT.
HRESULT QueryPinProperty(HANDLE filter, ULONG pinId, ULONG id, std::vector<BYTE>* answer);

// The items of a KSMULTIPLE_ITEM answer, each `size` bytes, or with size 0 each carrying its own
// length in its first ULONG (data ranges), 8-byte aligned. False for a list whose items do not fit its
// length or the answer.
bool SplitItems(const std::vector<BYTE>& answer, size_t size, std::vector<std::vector<BYTE>>* items);

// Every pin factory of the filter, in id order.
HRESULT ReadPinFactories(HANDLE filter, std::vector<PinFactory>* factories);

// The pins a "FilterData" value describes: a ULONG count, then per pin a ULONG direction (0 input,
// 1 output), its KSPIN_MEDIUM and its category GUID. False for a value that is short, holds no pin,
// or holds more pins than its length allows.
bool ParseFilterData(const BYTE* data, size_t length, std::vector<PinFactory>* factories);

// Whether two mediums connect: the same set and id; a standard medium connects to any.
bool MediumsMatch(const KSPIN_MEDIUM& a, const KSPIN_MEDIUM& b);

// IKsPropertySet::Get of a proxy pin: AMPROPSETID_Pin's category and medium.
HRESULT GetPinSetProperty(const PinFactory& factory, REFGUID set, DWORD id, LPVOID data, DWORD dataLength,
                          DWORD* returned);
HRESULT QueryPinSetSupport(REFGUID set, DWORD id, DWORD* support);

} // namespace ksproxy
