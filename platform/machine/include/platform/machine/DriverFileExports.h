// What the machine looks for in a driver file (a shared object loaded with dlopen). A driver file
// exports, with C linkage:
//   - "DriverEntry", the driver's entry point:
//         extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
//   - optionally its compiled message table, the way a Windows driver carries one as a resource, for
//     the event-log sources whose "EventMessageFile" names the file:
//         extern "C" const standin::MessageTableEntry StandinMessageTable[] = {{id, "text"}, ...};
//         extern "C" const size_t StandinMessageTableCount = <entries>;
//     (standin::MessageTableEntry is in km/messagetable.h; the texts are in message-file syntax).
// Both data symbols must be present for the table to be read. A declaration inside extern "C" has
// external linkage even when it is const, so the definitions above are exported as written.
#pragma once

namespace platform {

inline constexpr const char kDriverEntrySymbol[] = "DriverEntry";
inline constexpr const char kMessageTableSymbol[] = "StandinMessageTable";
inline constexpr const char kMessageTableCountSymbol[] = "StandinMessageTableCount";

} // namespace platform
