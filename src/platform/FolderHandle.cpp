#include "platform/FolderHandle.h"

#include <unistd.h>

FolderHandle::~FolderHandle()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}
