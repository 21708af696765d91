#pragma once

#include <cstdint>
#include <string>

// The generated tree the benchmarks share: the same tree on every machine for a
// given file count, with tenfold-branching folders, names in several scripts,
// hidden entries, symbolic and hard links, mostly small files and a few larger ones.
namespace BenchTree {

// Makes the tree under `root` (created when missing); throws std::runtime_error.
void generate(const std::string& root, std::int64_t files);

} // namespace BenchTree
