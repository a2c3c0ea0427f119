#pragma once

#include <cstdint>

namespace imagehost {

// Wall-clock seconds since the Unix epoch. An interface so that expiry can be
// exercised by moving time forward instead of waiting for it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t now() const = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t now() const override;
};

}  // namespace imagehost
