// The registry of live kernel objects and their reference and handle counts.
#include "ObjectDirectory.h"

#include "standin/object.h"
#include "standin/verifier.h"

namespace standin {

ObjectDirectory::ObjectDirectory()
{
    VerifierRegisterLeakCheck("object-references", [this] { return OutstandingReferences(); });
}

ObjectDirectory& ObjectDirectory::Instance()
{
    static ObjectDirectory* directory = new ObjectDirectory; // never destroyed: threads may end after exit
    return *directory;
}

void ObjectDirectory::Insert(KernelObject* object)
{
    std::lock_guard<std::mutex> hold(lock_);
    object->references_ = 1;
    byBody_[object->Body()] = object;
}

void ObjectDirectory::Reference(KernelObject* object, bool own)
{
    std::lock_guard<std::mutex> hold(lock_);
    ++object->references_;
    if (own)
        ++object->ownReferences_;
}

long ObjectDirectory::DropLocked(KernelObject* object, bool own, std::unique_lock<std::mutex>& hold)
{
    if (own)
        --object->ownReferences_;
    const long left = --object->references_;
    if (left == 0) {
        byBody_.erase(object->Body());
        hold.unlock();
        delete object;
    }
    return left;
}

long ObjectDirectory::Dereference(KernelObject* object, bool own)
{
    std::unique_lock<std::mutex> hold(lock_);
    return DropLocked(object, own, hold);
}

KernelObject* ObjectDirectory::ReferenceByBody(PVOID body)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto it = byBody_.find(body);
    if (it == byBody_.end())
        return nullptr;
    ++it->second->references_;
    return it->second;
}

bool ObjectDirectory::DereferenceByBody(PVOID body, long* left)
{
    std::unique_lock<std::mutex> hold(lock_);
    auto it = byBody_.find(body);
    if (it == byBody_.end())
        return false;
    KernelObject* object = it->second;
    // A caller may only give back references it was given; the handles' and the stand-in's own
    // are not its to drop.
    if (object->references_ <= object->handles_ + object->ownReferences_)
        return false;
    *left = DropLocked(object, false, hold);
    return true;
}

void ObjectDirectory::AddHandle(KernelObject* object)
{
    std::lock_guard<std::mutex> hold(lock_);
    ++object->references_;
    ++object->handles_;
}

bool ObjectDirectory::RemoveHandle(KernelObject* object)
{
    std::lock_guard<std::mutex> hold(lock_);
    return --object->handles_ == 0;
}

std::vector<std::string> ObjectDirectory::OutstandingReferences()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> lines;
    for (auto& [body, object] : byBody_) {
        const long held = object->references_ - object->handles_ - object->ownReferences_;
        if (held > 0)
            lines.push_back(object->Describe() + ": " + std::to_string(held) + " reference(s) not released");
    }
    return lines;
}

} // namespace standin
