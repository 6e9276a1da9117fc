#include "pinreader.h"

#include "shared/ksstreamrecords.h"

#include <cstring>

namespace capture {

PinReader::PinReader(std::string name, uint32_t bufferBytes, uint32_t headerSize, Consumer consumer)
    : m_name(std::move(name)), m_bufferBytes(bufferBytes), m_headerSize(headerSize), m_consumer(std::move(consumer))
{
}

PinReader::~PinReader()
{
    Stop();
}

DWORD PinReader::Open(HANDLE filter, ULONG pinId, const void* format, size_t formatBytes)
{
    return standin::KsCreateStandardPin(filter, pinId, format, formatBytes, &m_pin);
}

DWORD PinReader::SetState(KSSTATE state)
{
    KSPROPERTY property{};
    property.Set = KSPROPSETID_Connection;
    property.Id = KSPROPERTY_CONNECTION_STATE;
    property.Flags = KSPROPERTY_TYPE_SET;
    DWORD returned = 0;
    return DeviceIoControl(m_pin, IOCTL_KS_PROPERTY, &property, sizeof(property), &state, sizeof(state), &returned,
                           nullptr)
               ? 0u
               : GetLastError();
}

DWORD PinReader::Run()
{
    for (KSSTATE state : {KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN})
        if (const DWORD error = SetState(state))
            return error;
    for (int i = 0; i < kOutstanding; ++i)
        m_threads.emplace_back([this] { ReadLoop(); });
    return 0;
}

void PinReader::Stop()
{
    if (m_pin == nullptr)
        return;
    m_stopping = true;
    // Each step down is taken whatever the one before answered: the close ends the pin anyway.
    for (KSSTATE state : {KSSTATE_PAUSE, KSSTATE_ACQUIRE, KSSTATE_STOP})
        SetState(state);
    CloseHandle(m_pin);
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    m_pin = nullptr;
}

void PinReader::ReadLoop()
{
    std::vector<uint8_t> buffer(m_bufferBytes);
    std::vector<uint8_t> headers(m_headerSize);
    const uint32_t cookie = standin::KsRegisterStreamBuffer(buffer.data(), m_bufferBytes);
    while (cookie != 0 && !m_stopping.load()) {
        std::fill(headers.begin(), headers.end(), 0);
        KSSTREAM_HEADER header{};
        header.Size = m_headerSize;
        header.Data = cookie;
        header.FrameExtent = m_bufferBytes;
        std::memcpy(headers.data(), &header, sizeof(header));
        DWORD bytes = 0;
        const BOOL ok = DeviceIoControl(m_pin, IOCTL_KS_READ_STREAM, nullptr, 0, headers.data(),
                                        static_cast<DWORD>(headers.size()), &bytes, nullptr);
        if (!ok) {
            if (!m_stopping.load())
                ++m_failed;
            break;
        }
        DeliveredBuffer delivered;
        std::memcpy(&delivered.header, headers.data(), sizeof(delivered.header));
        if (m_headerSize >= sizeof(KSSTREAM_HEADER) + sizeof(KS_FRAME_INFO))
            std::memcpy(&delivered.frameInfo, headers.data() + sizeof(KSSTREAM_HEADER), sizeof(KS_FRAME_INFO));
        delivered.data = buffer.data();
        delivered.dataUsed = delivered.header.DataUsed <= m_bufferBytes ? delivered.header.DataUsed : m_bufferBytes;
        ++m_completed;
        m_consumer(delivered);
    }
    if (cookie != 0)
        standin::KsUnregisterStreamBuffer(cookie);
}

} // namespace capture
