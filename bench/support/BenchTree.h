#pragma once

#include <cstdint>
#include <string>

// The generated tree the benchmarks share: the same tree on every machine for a
// given file count, with tenfold-branching folders, names in several scripts,
// hidden entries, symbolic and hard links, mostly small files and a few larger ones.
namespace BenchTree {

// Makes the tree under `root` (created when missing); throws std::runtime_error.
void generate(const std::string& root, std::int64_t files);

// Makes a chain of `depth` folders below `root` (a new folder), each holding one small file
// and the next, named "d": a tree far deeper than the kernel's path length limit allows
// to name by path, made one folder at a time through open folders. Throws std::runtime_error.
void generateChain(const std::string& root, int depth);

// Makes `files` empty files in the one new folder `root`: a listing that weighs, and no disk.
void generateFlat(const std::string& root, std::int64_t files);

} // namespace BenchTree
