// The simulated reader's limits, the same for the host driver and the Win32
// driver.
#pragma once
#include <cstddef>

namespace zel::limits {

// Reads waiting to be fetched in buffer mode 0, at most; a further scan is
// refused. 64 reads of 255 bytes fit the Win32 driver's queue, and its
// control channel takes one scan at a time.
inline constexpr std::size_t queue_limit = 64;
// ReadLength is one byte: a longer read could not be carried.
inline constexpr std::size_t max_read = 255;

}  // namespace zel::limits
