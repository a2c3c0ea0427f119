#pragma once

#include <cstdint>

namespace imagehost {

// Raises the soft limit on open descriptors to the hard limit (a service
// should not be stopped by a shell's conservative default) and returns the
// soft limit now in force.
std::uint64_t raise_descriptor_limit();

std::uint64_t descriptor_limit();

// Each connection that up- or downloads holds two descriptors (socket and
// file), four over TLS (and the socket pair to its session); the reserve
// covers the listener, the database, the image directory, and each event
// loop's own (its epoll, its wake-up descriptor, its listener copy, a timer).
unsigned connection_cap_for(std::uint64_t descriptor_limit, unsigned threads = 1, bool tls = false);

// How many descriptors the process has open now. Probes each number instead
// of listing /proc/self/fd, which would itself need a descriptor.
std::uint64_t open_descriptor_count(std::uint64_t limit);

bool is_descriptor_exhaustion(int error);

}  // namespace imagehost
