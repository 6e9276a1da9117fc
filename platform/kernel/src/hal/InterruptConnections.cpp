// Connecting and disconnecting interrupt objects: the line of a vector, the sharing rules, the
// object's pool block, the interrupt thread of each line in use, and the leak check.
#include "InterruptConnections.h"

#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "platform/bus/Bus.h"
#include "standin/verifier.h"

#include <algorithm>
#include <exception>
#include <new>

namespace standin {

InterruptConnections::InterruptConnections()
{
    VerifierRegisterLeakCheck("interrupt", [this] { return Outstanding(); });
}

InterruptConnections& InterruptConnections::Instance()
{
    static InterruptConnections* connections = new InterruptConnections; // never destroyed: see the DPC queue
    return *connections;
}

NTSTATUS InterruptConnections::Connect(const Request& request, PKINTERRUPT* result)
{
    std::shared_ptr<platform::InterruptLine> line =
        platform::Bus::Instance().Interrupts().Find(request.vector);
    if (!line)
        return STATUS_INVALID_PARAMETER;

    void* block = ExAllocatePoolWithTag(NonPagedPool, sizeof(KINTERRUPT), kInterruptPoolTag);
    if (!block)
        return STATUS_INSUFFICIENT_RESOURCES;
    auto* interrupt = new (block) KINTERRUPT{};
    interrupt->ServiceRoutine = request.routine;
    interrupt->ServiceContext = request.context;
    KeInitializeSpinLock(&interrupt->SpinLock);
    interrupt->ActualLock = request.spinLock ? request.spinLock : &interrupt->SpinLock;
    interrupt->Vector = request.vector;
    interrupt->Irql = request.irql;
    interrupt->SynchronizeIrql = request.synchronizeIrql;
    interrupt->Mode = request.mode;
    interrupt->ShareVector = request.share ? TRUE : FALSE;
    interrupt->Affinity = request.affinity;
    interrupt->FloatingSave = request.floatingSave ? TRUE : FALSE;

    std::lock_guard<std::mutex> hold(lock_);
    interrupt->Sequence = ++lastSequence_;
    // A line is known by its object rather than its vector number: a model that registered a new
    // line under the vector of a line still connected gets a thread of its own.
    auto found = threads_.find(line.get());
    if (found != threads_.end()) {
        if (!found->second->Accepts(request.share, request.irql)) {
            Free(interrupt);
            return STATUS_INVALID_PARAMETER;
        }
        found->second->Attach(interrupt);
    } else {
        try {
            auto thread =
                std::make_shared<InterruptThread>(request.vector, line, request.irql, request.share);
            // Attached before the thread starts, so that its first round already finds the routine.
            thread->Attach(interrupt);
            thread->Start();
            threads_.emplace(line.get(), std::move(thread));
        } catch (const std::exception&) {
            Free(interrupt);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    connected_.insert(interrupt);
    *result = interrupt;
    return STATUS_SUCCESS;
}

void InterruptConnections::Disconnect(PKINTERRUPT interrupt)
{
    std::shared_ptr<InterruptThread> thread;
    bool last = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!connected_.count(interrupt)) {
            VerifierReport("bad-object", CallText("IoDisconnectInterrupt", interrupt) +
                                             ", which is not a connected interrupt object");
            return;
        }
        thread = threads_.at(interrupt->Thread->Line());
        if (InterruptThread::Current() == thread.get()) {
            VerifierReport("irql",
                           CallText("IoDisconnectInterrupt", interrupt) + " at IRQL " +
                               std::to_string(KeGetCurrentIrql()) +
                               " on the interrupt thread of its own line, which would wait for itself; " +
                               "it stays connected");
            return;
        }
        CheckIrqlAtMost("IoDisconnectInterrupt", PASSIVE_LEVEL);
        connected_.erase(interrupt);
        last = thread->Detach(interrupt);
        if (last)
            threads_.erase(thread->Line());
    }
    // Outside the lock: the routine may run for a while, and other lines' connections go on meanwhile.
    thread->WaitUntilIdle(interrupt);
    if (last)
        thread->Stop();
    Free(interrupt);
}

bool InterruptConnections::CheckConnected(const char* function, PKINTERRUPT interrupt)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (connected_.count(interrupt))
            return true;
    }
    VerifierReport("bad-object",
                   CallText(function, interrupt) + ", which is not a connected interrupt object");
    return false;
}

std::vector<std::string> InterruptConnections::Outstanding()
{
    std::lock_guard<std::mutex> hold(lock_); // keeps the objects from being freed while they are described
    std::vector<const KINTERRUPT*> objects(connected_.begin(), connected_.end());
    std::sort(objects.begin(), objects.end(),
              [](const KINTERRUPT* a, const KINTERRUPT* b) { return a->Sequence < b->Sequence; });
    std::vector<std::string> lines;
    for (const KINTERRUPT* interrupt : objects)
        lines.push_back("interrupt object " + PointerText(interrupt) + " of vector " +
                        HexText(interrupt->Vector) + " (routine " +
                        PointerText(reinterpret_cast<const void*>(interrupt->ServiceRoutine)) + ", context " +
                        PointerText(interrupt->ServiceContext) + ", connection #" +
                        std::to_string(interrupt->Sequence) + ") never disconnected");
    return lines;
}

void InterruptConnections::Free(KINTERRUPT* interrupt)
{
    interrupt->~KINTERRUPT();
    ExFreePoolWithTag(interrupt, kInterruptPoolTag);
}

} // namespace standin
