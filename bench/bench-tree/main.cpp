// Makes the trees the scan benchmarks read, to time the scanner against other tools on them:
// the generated tree of N files, a chain of folders deeper than any path can name, or N files
// in one folder.
//
//   bench-tree (--files N | --chain DEPTH | --flat N) DIR

#include "BenchArguments.h"
#include "BenchTree.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

int main(int argc, char** argv)
{
    BenchArguments args(argc, argv, "bench-tree", "(--files N | --chain DEPTH | --flat N) DIR");
    std::optional<std::int64_t> files;
    std::optional<int> chain;
    std::optional<std::int64_t> flat;
    std::string root;
    while (const auto arg = args.next()) {
        if (arg == "--files")
            files = std::stoll(args.value());
        else if (arg == "--chain")
            chain = std::stoi(args.value());
        else if (arg == "--flat")
            flat = std::stoll(args.value());
        else if (arg->starts_with("-") || !root.empty())
            args.fail("unknown argument " + *arg);
        else
            root = *arg;
    }
    if (root.empty() || files.has_value() + chain.has_value() + flat.has_value() != 1)
        args.fail("give one DIR and one of --files, --chain and --flat");
    if (std::filesystem::exists(root))
        args.fail(root + " exists already");
    try {
        if (chain)
            BenchTree::generateChain(root, *chain);
        else if (flat)
            BenchTree::generateFlat(root, *flat);
        else
            BenchTree::generate(root, *files);
    } catch (const std::exception& error) {
        std::cerr << "bench-tree: " << error.what() << "\n";
        return 1;
    }
    std::cout << "made " << root << "\n";
    return 0;
}
