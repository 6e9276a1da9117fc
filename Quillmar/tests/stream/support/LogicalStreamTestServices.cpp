#include "LogicalStreamTestServices.h"

namespace streamtest {

LogicalStreamTestServices::LogicalStreamTestServices(Device* device, ULONG queueCapacity) : m_device(device)
{
    if (queueCapacity != 0) {
        m_videoQueue = std::make_unique<StreamProcessorQueue>(queueCapacity, 16, 0, device->GetLogicalStreamTable());
        m_audioQueue = std::make_unique<StreamProcessorQueue>(queueCapacity, 20, 0, device->GetLogicalStreamTable());
    }
}

LogicalStreamTestServices::~LogicalStreamTestServices()
{
    DestroyQueues();
}

void LogicalStreamTestServices::KillStreamsPendingCommands(LogicalStreamHandle stream)
{
    ++m_kills;
    m_device->KillStreamsPendingCommands(stream);
}

void LogicalStreamTestServices::DestroyQueues()
{
    m_videoQueue.reset();
    m_audioQueue.reset();
}

} // namespace streamtest
