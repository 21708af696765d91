#include "platform/ThreadName.h"

#include <pthread.h>
#include <string>

namespace ThreadName {

void set(std::string_view name)
{
    constexpr std::size_t longest = 15;
    const std::string kept(name.substr(0, longest));
    ::pthread_setname_np(::pthread_self(), kept.c_str());
}

} // namespace ThreadName
