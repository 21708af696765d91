#include "platform/LargeBlocks.h"

#include <malloc.h>
#include <mutex>

namespace LargeBlocks {

void keepMappedApart()
{
    static std::once_flag once;
    // glibc's starting threshold; setting it at all turns the raising off.
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 128 * 1024); });
}

} // namespace LargeBlocks
