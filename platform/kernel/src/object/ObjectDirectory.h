// The registry of live kernel objects: reference and handle counts, lookup by the address callers
// see, and the leak check of references that callers never released.
#pragma once
#include "km/object.h"
#include "standin/object.h"

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace standin {

class ObjectDirectory {
public:
    static ObjectDirectory& Instance();

    void Insert(KernelObject* object);
    void Reference(KernelObject* object, bool own);
    // Returns the references left; deletes the object when none is left.
    long Dereference(KernelObject* object, bool own);
    // Resolves and references in one step, so a racing last dereference cannot free it in between.
    KernelObject* ReferenceByBody(PVOID body);
    // Dereferences the object at `body`; false when no live object is there.
    bool DereferenceByBody(PVOID body, long* left);

    // A handle takes a reference of its own.
    void AddHandle(KernelObject* object);
    // Forgets one handle; true when it was the last. The handle's reference is still held.
    bool RemoveHandle(KernelObject* object);

    std::vector<std::string> OutstandingReferences();

private:
    ObjectDirectory();
    long DropLocked(KernelObject* object, bool own, std::unique_lock<std::mutex>& hold);

    std::mutex lock_;
    std::unordered_map<PVOID, KernelObject*> byBody_;
};

} // namespace standin
