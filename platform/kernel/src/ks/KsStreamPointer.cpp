// The stream-pointer functions a driver calls, and the table of pins' queues they reach them
// through. A pointer the driver hands back is looked up among the live queues before it is used, so
// a deleted clone or a pointer of a closed pin is reported, never followed.
#include "KsStream.h"

#include "Reports.h"
#include "km/status.h"
#include "standin/ks.h"
#include "standin/verifier.h"

#include <map>
#include <mutex>
#include <string>

namespace standin {
namespace {

struct QueueTable {
    std::mutex lock;
    std::map<PKSPIN, std::shared_ptr<KsQueue>> queues;

    QueueTable()
    {
        VerifierRegisterLeakCheck("ks-stream-queues", [this] {
            std::lock_guard<std::mutex> guard(lock);
            std::vector<std::string> lines;
            for (const auto& [pin, queue] : queues) {
                if (queue->FrameCount() > 0)
                    lines.push_back("pin " + PointerText(pin) + " still has " + std::to_string(queue->FrameCount()) +
                                    " queued frames");
            }
            return lines;
        });
    }
};

QueueTable& Queues()
{
    static QueueTable* table = new QueueTable; // lives as long as the process: leak checks read it
    return *table;
}

std::shared_ptr<KsQueue> QueueOfPointer(const char* function, PKSSTREAM_POINTER pointer,
                                        KsStreamPointerObject** object)
{
    auto* candidate = reinterpret_cast<KsStreamPointerObject*>(pointer);
    if (pointer) {
        QueueTable& table = Queues();
        std::lock_guard<std::mutex> guard(table.lock);
        for (const auto& [pin, queue] : table.queues) {
            if (queue->Owns(candidate)) {
                *object = candidate;
                return queue;
            }
        }
    }
    VerifierReport("bad-object", CallText(function, pointer) + ", which is not a live stream pointer");
    return nullptr;
}

std::shared_ptr<KsQueue> QueueOfPinForDriver(const char* function, PKSPIN pin)
{
    if (!pin) {
        VerifierReport("bad-argument", std::string(function) + " without a pin");
        return nullptr;
    }
    return KsQueueOfPin(pin, false);
}

} // namespace

std::shared_ptr<KsQueue> KsQueueOfPin(PKSPIN pin, bool create)
{
    QueueTable& table = Queues();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.queues.find(pin);
    if (it != table.queues.end())
        return it->second;
    if (!create)
        return nullptr;
    auto queue = std::make_shared<KsQueue>(pin);
    table.queues.emplace(pin, queue);
    return queue;
}

void KsPinEndStream(PKSPIN pin)
{
    std::shared_ptr<KsQueue> queue;
    {
        QueueTable& table = Queues();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.queues.find(pin);
        if (it == table.queues.end())
            return;
        queue = std::move(it->second);
        table.queues.erase(it);
    }
    queue->End();
}

size_t KsPinQueuedFrameCount(PKSPIN pin)
{
    std::shared_ptr<KsQueue> queue = KsQueueOfPin(pin, false);
    return queue ? queue->FrameCount() : 0;
}

} // namespace standin

using namespace standin;

extern "C" {

PKSSTREAM_POINTER NTAPI KsPinGetLeadingEdgeStreamPointer(PKSPIN Pin, KSSTREAM_POINTER_STATE State)
{
    std::shared_ptr<KsQueue> queue = QueueOfPinForDriver("KsPinGetLeadingEdgeStreamPointer", Pin);
    return queue ? queue->LeadingEdge(State) : nullptr;
}

NTSTATUS NTAPI KsStreamPointerLock(PKSSTREAM_POINTER StreamPointer)
{
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerLock", StreamPointer, &object);
    return queue ? queue->Lock(object) : STATUS_INVALID_PARAMETER;
}

VOID NTAPI KsStreamPointerUnlock(PKSSTREAM_POINTER StreamPointer, BOOLEAN Eject)
{
    KsStreamPointerObject* object = nullptr;
    if (std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerUnlock", StreamPointer, &object))
        queue->Unlock(object, Eject != FALSE);
}

NTSTATUS NTAPI KsStreamPointerAdvance(PKSSTREAM_POINTER StreamPointer)
{
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerAdvance", StreamPointer, &object);
    return queue ? queue->Advance(object) : STATUS_INVALID_PARAMETER;
}

NTSTATUS NTAPI KsStreamPointerSetStatusCode(PKSSTREAM_POINTER StreamPointer, NTSTATUS Status)
{
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerSetStatusCode", StreamPointer, &object);
    return queue ? queue->SetStatus(object, Status) : STATUS_INVALID_PARAMETER;
}

NTSTATUS NTAPI KsStreamPointerAdvanceOffsets(PKSSTREAM_POINTER StreamPointer, ULONG InUsed, ULONG OutUsed,
                                             BOOLEAN Eject)
{
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerAdvanceOffsets", StreamPointer, &object);
    return queue ? queue->AdvanceOffsets(object, InUsed, OutUsed, Eject != FALSE) : STATUS_INVALID_PARAMETER;
}

NTSTATUS NTAPI KsStreamPointerClone(PKSSTREAM_POINTER StreamPointer, PFNKSSTREAMPOINTER CancelCallback,
                                    ULONG ContextSize, PKSSTREAM_POINTER* CloneStreamPointer)
{
    if (!CloneStreamPointer) {
        VerifierReport("bad-argument", "KsStreamPointerClone without a place for the clone");
        return STATUS_INVALID_PARAMETER;
    }
    *CloneStreamPointer = nullptr;
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerClone", StreamPointer, &object);
    return queue ? queue->Clone(object, CancelCallback, ContextSize, CloneStreamPointer) : STATUS_INVALID_PARAMETER;
}

VOID NTAPI KsStreamPointerDelete(PKSSTREAM_POINTER StreamPointer)
{
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerDelete", StreamPointer, &object);
    if (queue && !queue->Delete(object))
        VerifierReport("bad-argument", CallText("KsStreamPointerDelete", StreamPointer) +
                                           ", which is the leading edge, not a clone");
}

PKSSTREAM_POINTER NTAPI KsPinGetFirstCloneStreamPointer(PKSPIN Pin)
{
    std::shared_ptr<KsQueue> queue = QueueOfPinForDriver("KsPinGetFirstCloneStreamPointer", Pin);
    return queue ? queue->FirstClone() : nullptr;
}

PKSSTREAM_POINTER NTAPI KsStreamPointerGetNextClone(PKSSTREAM_POINTER StreamPointer)
{
    KsStreamPointerObject* object = nullptr;
    std::shared_ptr<KsQueue> queue = QueueOfPointer("KsStreamPointerGetNextClone", StreamPointer, &object);
    return queue ? queue->NextClone(object) : nullptr;
}

} // extern "C"
