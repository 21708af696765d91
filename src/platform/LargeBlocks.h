#pragma once

// Where the C library keeps blocks of memory of a hundred kilobytes and more.
namespace LargeBlocks {

// Keeps every such block in a mapping of its own, given back to the system when it is freed.
// By default glibc raises that threshold each time it frees a mapped block, and blocks below it
// then come from its heaps, where freed memory stays with the program and splits up: a scan,
// which allocates and frees many blocks of hundreds of kilobytes to megabytes, would leave the
// program larger after every scan. Takes effect once per process; later calls do nothing.
void keepMappedApart();

} // namespace LargeBlocks
