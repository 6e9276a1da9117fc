// File objects: their type, what closing the last handle and dropping the last reference do, and
// how leak reports name them.
#include "FileObject.h"

#include "HostNames.h"
#include "Reports.h"
#include "km/file.h"
#include "standin/object.h"

#include <unistd.h>

namespace standin {

POBJECT_TYPE FileObject::ObjectType()
{
    static OBJECT_TYPE type{"File"};
    return &type;
}

FileObject::FileObject(Setup setup)
    : KernelObject(ObjectType()), fd_(setup.fd), file_(std::move(setup.file)), openId_(setup.openId),
      name_(std::move(setup.name)), access_(setup.access), isFolder_(setup.isFolder),
      synchronous_((setup.createOptions & (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT)) != 0)
{
}

FileObject::~FileObject()
{
    ::close(fd_);
}

void FileObject::OnLastHandleClosed()
{
    OpenFileTable::Instance().Close(file_, openId_);
}

std::string FileObject::Describe() const
{
    return "File object " + PointerText(Body()) + " (" + hostnames::Printable(name_) + ")";
}

NTSTATUS FileObject::FromHandle(HANDLE handle, FileObject** file)
{
    KernelObject* object = nullptr;
    const NTSTATUS status = ReferenceObjectByHandle(handle, 0, ObjectType(), KernelMode, &object, nullptr);
    *file = NT_SUCCESS(status) ? static_cast<FileObject*>(object) : nullptr;
    return status;
}

} // namespace standin
