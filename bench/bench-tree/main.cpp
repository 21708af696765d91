// Makes the trees the scan benchmarks read, to time the scanner against other tools on them:
// the generated tree of N files, or a chain of folders deeper than any path can name.
//
//   bench-tree (--files N | --chain DEPTH) DIR

#include "BenchArguments.h"
#include "BenchTree.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

int main(int argc, char** argv)
{
    BenchArguments args(argc, argv, "bench-tree", "(--files N | --chain DEPTH) DIR");
    std::optional<std::int64_t> files;
    std::optional<int> chain;
    std::string root;
    while (const auto arg = args.next()) {
        if (arg == "--files")
            files = std::stoll(args.value());
        else if (arg == "--chain")
            chain = std::stoi(args.value());
        else if (arg->starts_with("-") || !root.empty())
            args.fail("unknown argument " + *arg);
        else
            root = *arg;
    }
    if (root.empty() || files.has_value() == chain.has_value())
        args.fail("give one DIR and either --files or --chain");
    if (std::filesystem::exists(root))
        args.fail(root + " exists already");
    try {
        if (chain)
            BenchTree::generateChain(root, *chain);
        else
            BenchTree::generate(root, *files);
    } catch (const std::exception& error) {
        std::cerr << "bench-tree: " << error.what() << "\n";
        return 1;
    }
    std::cout << "made " << root << "\n";
    return 0;
}
