#include "descriptor_limit.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace imagehost {
namespace {
constexpr std::uint64_t kReservedDescriptors = 32;
constexpr std::uint64_t kDescriptorsPerLoop = 4;
// Probing is one system call per number: bound it for huge limits.
constexpr std::uint64_t kProbeLimit = 1u << 20;
}  // namespace

std::uint64_t raise_descriptor_limit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return descriptor_limit();
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &raised);  // if refused, the old limit simply stays
    }
    return descriptor_limit();
}

std::uint64_t descriptor_limit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<unsigned>::max();
    return limit.rlim_cur;
}

unsigned connection_cap_for(std::uint64_t limit, unsigned threads, bool tls)
{
    std::uint64_t reserve = kReservedDescriptors + kDescriptorsPerLoop * threads;
    std::uint64_t per_connection = tls ? 4 : 2;
    if (limit <= reserve + per_connection)
        return 1;
    auto cap = (limit - reserve) / per_connection;
    return static_cast<unsigned>(std::min<std::uint64_t>(cap, std::numeric_limits<unsigned>::max()));
}

std::uint64_t open_descriptor_count(std::uint64_t limit)
{
    std::uint64_t open = 0;
    for (std::uint64_t fd = 0; fd < std::min(limit, kProbeLimit); ++fd)
        if (::fcntl(static_cast<int>(fd), F_GETFD) != -1)
            ++open;
    return open;
}

bool is_descriptor_exhaustion(int error) { return error == EMFILE || error == ENFILE; }

}  // namespace imagehost
