// Host errors of the drives' folders and files, turned into the statuses Windows' file systems give
// for the same conditions. A link met where a folder or file should be counts as access denied: the
// drives never follow links.
#include "HostErrors.h"

#include "km/status.h"

#include <cerrno>

namespace standin {

NTSTATUS StatusFromHostError(int error)
{
    switch (error) {
    case ENOENT:
        return STATUS_OBJECT_NAME_NOT_FOUND;
    case ENOTDIR:
        return STATUS_OBJECT_PATH_NOT_FOUND;
    case EEXIST:
        return STATUS_OBJECT_NAME_COLLISION;
    case EISDIR:
        return STATUS_FILE_IS_A_DIRECTORY;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
    case ETXTBSY:
        return STATUS_ACCESS_DENIED;
    case ENAMETOOLONG:
        return STATUS_OBJECT_NAME_INVALID;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return STATUS_DISK_FULL;
    case ENOMEM:
        return STATUS_INSUFFICIENT_RESOURCES;
    case EMFILE:
    case ENFILE:
        return STATUS_TOO_MANY_OPENED_FILES;
    case EINVAL:
        return STATUS_INVALID_PARAMETER;
    case EIO:
        return STATUS_IO_DEVICE_ERROR;
    default:
        return STATUS_UNSUCCESSFUL;
    }
}

} // namespace standin
