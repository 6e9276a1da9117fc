// A pin's queue of client frames and the stream pointers on it: the leading edge, which a driver
// locks, fills and ejects frame by frame, and clones that keep a frame from completing until they are
// deleted. A frame completes when the leading edge has left it (or it was cancelled) and no pointer
// stands on it; a request finishes when all its frames have. Thread-safe: a driver's worker takes and
// moves pointers while clients submit and cancel and the pin changes state.
#pragma once
#include "km/ksstream.h"

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

namespace standin {

class KsQueue;

// One client request: the frames it submitted finish together.
class KsQueueRequest {
public:
    virtual ~KsQueueRequest() = default;
    // Called once, outside the queue's lock, when the last frame of the request has left the queue;
    // `cancelled` when any of them was cancelled, `status` the first failure a driver set on one of
    // them (STATUS_SUCCESS when none).
    virtual void Finished(bool cancelled, NTSTATUS status) = 0;

private:
    friend class KsQueue;
    size_t outstanding_ = 0;
    bool cancelled_ = false;
    NTSTATUS status_ = 0;
};

// A stream pointer as the framework keeps it; a PKSSTREAM_POINTER is this record's address.
struct KsStreamPointerObject {
    KSSTREAM_POINTER pointer{}; // first
    KsQueue* queue = nullptr;
    struct KsQueueFrame* frame = nullptr; // NULL: past the last frame
    ULONG used = 0;                       // bytes of the frame the pointer has moved past
    bool locked = false;
    bool clone = false;
    bool cancelNotified = false;
    PFNKSSTREAMPOINTER cancelCallback = nullptr;
    std::unique_ptr<uint64_t[]> context;
};

struct KsQueueFrame {
    std::shared_ptr<KsQueueRequest> request;
    PKSSTREAM_HEADER header = nullptr; // the request's copy
    PUCHAR data = nullptr;
    ULONG extent = 0;
    bool passed = false;    // the leading edge has left it
    bool cancelled = false; // its request was cancelled, or the pin stopped
    int holders = 0;        // pointers standing on it
};

class KsQueue {
public:
    struct FrameSpec {
        PKSSTREAM_HEADER header;
        PUCHAR data;
        ULONG extent;
    };

    explicit KsQueue(PKSPIN pin);
    ~KsQueue();
    KsQueue(const KsQueue&) = delete;
    KsQueue& operator=(const KsQueue&) = delete;

    // Queues the request's frames, in order, behind those already queued.
    void Submit(const std::shared_ptr<KsQueueRequest>& request, const std::vector<FrameSpec>& frames);
    // Cancels the request's frames still queued: frames no pointer stands on go at once, a frame the
    // locked leading edge holds goes when it is unlocked, clones holding one are told.
    void Cancel(KsQueueRequest* request);
    // Waits until no pointer is locked (refusing new locks meanwhile), then cancels every frame.
    void Flush();
    // Flush, then deletes every clone; the queue is then empty and its pointers dead.
    void End();

    PKSSTREAM_POINTER LeadingEdge(KSSTREAM_POINTER_STATE state);
    NTSTATUS Lock(KsStreamPointerObject* pointer);
    void Unlock(KsStreamPointerObject* pointer, bool eject);
    NTSTATUS Advance(KsStreamPointerObject* pointer);
    NTSTATUS AdvanceOffsets(KsStreamPointerObject* pointer, ULONG inUsed, ULONG outUsed, bool eject);
    NTSTATUS SetStatus(KsStreamPointerObject* pointer, NTSTATUS status);
    NTSTATUS Clone(KsStreamPointerObject* pointer, PFNKSSTREAMPOINTER cancelCallback, ULONG contextSize,
                   PKSSTREAM_POINTER* clone);
    // False when `pointer` is not one of the queue's clones.
    bool Delete(KsStreamPointerObject* pointer);
    PKSSTREAM_POINTER FirstClone();
    PKSSTREAM_POINTER NextClone(KsStreamPointerObject* pointer);

    size_t FrameCount();
    // Held around the pin's Process dispatch, which runs one call at a time.
    std::mutex& ProcessLock() { return processLock_; }
    // Whether `pointer` is a live pointer of this queue.
    bool Owns(const KsStreamPointerObject* pointer);

private:
    // What to do once the lock is dropped: requests to finish, clones to tell.
    struct Deferred {
        std::vector<std::shared_ptr<KsQueueRequest>> finished;
        std::vector<KsStreamPointerObject*> cancelNotices;
    };
    void RunDeferred(Deferred& deferred);

    KsQueueFrame* NextLive(KsQueueFrame* after);
    void Place(KsStreamPointerObject* pointer, KsQueueFrame* frame, Deferred& deferred);
    void MoveOn(KsStreamPointerObject* pointer, Deferred& deferred);
    void Describe(KsStreamPointerObject* pointer);
    void SetLocked(KsStreamPointerObject* pointer, bool locked);
    void ReleaseIfDone(KsQueueFrame* frame, Deferred& deferred);
    void CancelFrames(KsQueueRequest* only, Deferred& deferred);
    bool LiveLocked(const KsStreamPointerObject* pointer) const;
    bool Known(const KsStreamPointerObject* pointer) const;

    PKSPIN pin_;
    std::mutex lock_;
    std::mutex processLock_;
    std::condition_variable unlocked_;
    std::list<KsQueueFrame> frames_;
    KsStreamPointerObject leading_;
    std::list<std::unique_ptr<KsStreamPointerObject>> clones_;
    size_t lockedCount_ = 0;
    bool flushing_ = false;
};

} // namespace standin
