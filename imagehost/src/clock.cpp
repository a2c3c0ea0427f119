#include "clock.h"

#include <chrono>

namespace imagehost {

std::int64_t SystemClock::now() const
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace imagehost
