// The log of user-mode kernel-streaming requests (standin/ksrequests.h), filled by DeviceIoControl.
#include "devices/KsRequestLog.h"

#include "shared/ksrecords.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

std::mutex g_lock;
std::deque<standin::KsRequestRecord> g_records;

constexpr ULONG kDeviceTypeOf(ULONG code)
{
    return code >> 16;
}

bool NamesAnIdentifier(ULONG code)
{
    const ULONG function = (code >> 2) & 0xFFF;
    // Property, enable event and method requests start with a KSIDENTIFIER.
    return kDeviceTypeOf(code) == FILE_DEVICE_KS && (function == 0 || function == 1 || function == 3);
}

} // namespace

namespace user {

void LogKsRequest(HANDLE handle, ULONG code, const void* input, ULONG inputLength, ULONG outputLength,
                  ULONG returned, LONG status)
{
    if (kDeviceTypeOf(code) != FILE_DEVICE_KS)
        return;
    standin::KsRequestRecord record;
    record.handle = handle;
    record.ioControl = code;
    record.inputLength = inputLength;
    record.outputLength = outputLength;
    record.returned = returned;
    record.status = status;
    if (input && inputLength) {
        const auto* bytes = static_cast<const BYTE*>(input);
        record.input.assign(bytes, bytes + std::min<size_t>(inputLength, standin::kMaxLoggedInput));
        if (NamesAnIdentifier(code) && inputLength >= sizeof(KSIDENTIFIER)) {
            KSIDENTIFIER identifier;
            std::memcpy(&identifier, input, sizeof identifier);
            record.set = identifier.Set;
            record.id = identifier.Id;
            record.flags = identifier.Flags;
        }
    }
    std::lock_guard<std::mutex> hold(g_lock);
    g_records.push_back(std::move(record));
    while (g_records.size() > standin::kMaxLoggedRequests)
        g_records.pop_front();
}

} // namespace user

std::vector<standin::KsRequestRecord> standin::KsRequests()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return {g_records.begin(), g_records.end()};
}

void standin::ClearKsRequests()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_records.clear();
}
