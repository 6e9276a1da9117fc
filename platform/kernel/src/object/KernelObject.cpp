// Kernel objects: their description in reports, and taking and dropping references, by the
// stand-in's own parts and by ObfDereferenceObject.
#include "ObjectDirectory.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/object.h"
#include "standin/object.h"
#include "standin/verifier.h"

namespace standin {

std::string KernelObject::Describe() const
{
    return std::string(type_ && type_->Name ? type_->Name : "?") + " object " + PointerText(Body());
}

void InsertObject(KernelObject* object)
{
    ObjectDirectory::Instance().Insert(object);
}

void ReferenceObject(KernelObject* object)
{
    ObjectDirectory::Instance().Reference(object, false);
}

long DereferenceObject(KernelObject* object)
{
    return ObjectDirectory::Instance().Dereference(object, false);
}

void ReferenceObjectOwn(KernelObject* object)
{
    ObjectDirectory::Instance().Reference(object, true);
}

long DereferenceObjectOwn(KernelObject* object)
{
    return ObjectDirectory::Instance().Dereference(object, true);
}

KernelObject* ReferenceObjectByBody(PVOID body)
{
    return body ? ObjectDirectory::Instance().ReferenceByBody(body) : nullptr;
}

} // namespace standin

extern "C" LONG_PTR NTAPI ObfDereferenceObject(PVOID Object)
{
    standin::CheckIrqlAtMost("ObfDereferenceObject", DISPATCH_LEVEL);
    long left = 0;
    if (!Object || !standin::ObjectDirectory::Instance().DereferenceByBody(Object, &left)) {
        standin::VerifierReport("bad-object", "ObfDereferenceObject of " + standin::PointerText(Object) +
                                                  ", which holds no reference the caller could release");
        return 0;
    }
    return left;
}
