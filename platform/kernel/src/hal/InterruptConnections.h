// The process's interrupt connections: the interrupt thread of every line that has connections, the
// interrupt objects that are connected, and the "interrupt" leak check of those never disconnected.
#pragma once
#include "InterruptObject.h"
#include "InterruptThread.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace standin {

class InterruptConnections {
public:
    static InterruptConnections& Instance();

    // What IoConnectInterrupt was asked, with its plain arguments already checked.
    struct Request {
        PKSERVICE_ROUTINE routine;
        PVOID context;
        PKSPIN_LOCK spinLock;
        ULONG vector;
        KIRQL irql;
        KIRQL synchronizeIrql;
        KINTERRUPT_MODE mode;
        bool share;
        KAFFINITY affinity;
        bool floatingSave;
    };
    // Finds the vector's line, makes the interrupt object and joins it to the line's thread, starting
    // the thread for the line's first connection.
    NTSTATUS Connect(const Request& request, PKINTERRUPT* interrupt);
    // Takes the object out, waits for a call of its routine under way, stops the line's thread after
    // its last connection and frees the object. Misuse is reported and changes nothing.
    void Disconnect(PKINTERRUPT interrupt);
    // Whether `interrupt` is a connected interrupt object; reports a breach naming `function` if not.
    bool CheckConnected(const char* function, PKINTERRUPT interrupt);

    std::vector<std::string> Outstanding();

private:
    InterruptConnections();
    static void Free(KINTERRUPT* interrupt);

    std::mutex lock_;
    std::map<const platform::InterruptLine*, std::shared_ptr<InterruptThread>> threads_;
    std::unordered_set<KINTERRUPT*> connected_;
    uint64_t lastSequence_ = 0;
};

} // namespace standin
