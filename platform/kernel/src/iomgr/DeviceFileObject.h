// The file object of an open device: the FILE_OBJECT drivers see, the device (and related file) it
// holds, and the requests pending on it. Closing its last handle cancels those requests and sends
// IRP_MJ_CLEANUP; when the last reference goes, IRP_MJ_CLOSE follows.
#pragma once
#include "DeviceObject.h"
#include "IrpTable.h"
#include "km/fileobject.h"
#include "km/object.h"
#include "km/thread.h"
#include "standin/object.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

class DeviceFileObject final : public KernelObject {
public:
    static POBJECT_TYPE ObjectType();

    // Takes over the caller's references on `device` and `related` (which may be null).
    DeviceFileObject(DeviceObjectRecord* device, DeviceFileObject* related, std::u16string fileName,
                     ACCESS_MASK access);

    PVOID Body() const override { return &state_->file; }
    void OnLastHandleClosed() override;
    std::string Describe() const override;

    PFILE_OBJECT File() const { return &state_->file; }
    // The create request succeeded: the file counts as open, and its close request will be sent.
    void MarkOpened() { state_->opened = true; }

    void AddPending(IrpRecord* record);
    void RemovePending(PIRP irp);
    size_t PendingCount();
    // Cancels the pending requests (those `thread` sent, or all when it is null); how many there were.
    size_t CancelPending(PETHREAD thread);

    // The live device file object at `fileObject`, referenced, or null.
    static DeviceFileObject* Reference(PVOID fileObject);

private:
    struct State {
        mutable FILE_OBJECT file{};
        std::u16string fileName;
        DeviceObjectRecord* device = nullptr;
        DeviceFileObject* related = nullptr;
        bool opened = false;
    };
    ~DeviceFileObject() override;
    static void Close(std::unique_ptr<State> state);
    static void Release(State& state);

    std::unique_ptr<State> state_;
    std::mutex pendingLock_;
    std::vector<IrpRecord*> pending_;
};

} // namespace standin
