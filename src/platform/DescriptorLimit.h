#pragma once

#include <cstddef>
#include <cstdint>

// The process's limit on open descriptors. The usual soft limit of 1024 is far below what a
// walk of a deep tree with many workers may need, while the hard limit rarely is.
namespace DescriptorLimit {

// Raises the soft limit to the hard limit; returns the soft limit in force afterwards.
std::uint64_t raiseToHardLimit() noexcept;

// The soft limit in force now.
std::uint64_t current() noexcept;

// How many descriptors a walk may keep open for the folders waiting to be read: the limit in
// force divided by `share`, so that several walks, the index and the rest of the program
// still find descriptors; within [minimum, maximum].
std::size_t folderBudget(std::size_t share, std::size_t minimum, std::size_t maximum) noexcept;

} // namespace DescriptorLimit
