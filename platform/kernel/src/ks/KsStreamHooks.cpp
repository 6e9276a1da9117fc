// What the pin side tells the stream side: a pin made (its queue), a state step (a step to Stop gives
// the frames back; a step into a processing state with frames queued asks for Process, which the pin
// side calls once it has let go of the control mutex), a pin closed.
#include "KsObjects.h"
#include "KsStream.h"

namespace standin {


NTSTATUS KsPinStreamCreate(PKSPIN pin)
{
    KsQueueOfPin(pin, true);
    return STATUS_SUCCESS;
}

bool KsPinStreamStateChanged(PKSPIN pin, KSSTATE to, KSSTATE)
{
    std::shared_ptr<KsQueue> queue = KsQueueOfPin(pin, false);
    if (!queue)
        return false;
    if (to == KSSTATE_STOP) {
        queue->Flush();
        return false;
    }
    return KsPinProcesses(pin) && queue->FrameCount() > 0;
}

void KsPinStreamProcess(PKSPIN pin)
{
    if (std::shared_ptr<KsQueue> queue = KsQueueOfPin(pin, false))
        KsPinCallProcess(pin, *queue);
}

void KsPinStreamDelete(PKSPIN pin)
{
    KsPinEndStream(pin);
}

} // namespace standin
