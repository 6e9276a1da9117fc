// What the pin side tells the stream side: a pin made (its queue), a state step (a step to Stop gives
// the frames back; a step into a processing state with frames queued calls Process), a pin closed.
#include "KsObjects.h"
#include "KsStream.h"

namespace standin {


NTSTATUS KsPinStreamCreate(PKSPIN pin)
{
    KsQueueOfPin(pin, true);
    return STATUS_SUCCESS;
}

void KsPinStreamStateChanged(PKSPIN pin, KSSTATE to, KSSTATE)
{
    std::shared_ptr<KsQueue> queue = KsQueueOfPin(pin, false);
    if (!queue)
        return;
    if (to == KSSTATE_STOP)
        queue->Flush();
    else if (KsPinProcesses(pin) && queue->FrameCount() > 0)
        KsPinCallProcess(pin, *queue);
}

void KsPinStreamDelete(PKSPIN pin)
{
    KsPinEndStream(pin);
}

} // namespace standin
