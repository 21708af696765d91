#include "index/CaseFolding.h"
#include "index/StorageCategorizer.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using C = StorageCategory;
using Context = StorageCategorizer::FolderContext;

Context forced(C category) { return {category, std::nullopt}; }
Context fallback(C category) { return {std::nullopt, category}; }
const Context none{};

} // namespace

TEST(StorageCategorizer, FolderRulesTakeTheFirstGroupThatHolds)
{
    const StorageCategorizer categorizer("/users/ann");
    struct Case { const char* folder; Context expected; };
    const Case cases[] = {
        {"/Users/Ann/Projects/site/node_modules/lodash", forced(C::nodeJS)},
        {"/users/ann/node_modules", forced(C::nodeJS)},
        {"/users/ann/.nvm/versions", forced(C::nodeJS)},
        {"/users/ann/.npm/_cacache", forced(C::npm)},
        {"/users/ann/library/caches/yarn/berry", forced(C::yarn)},
        {"/users/ann/work/.yarn/cache", forced(C::yarn)},
        {"/users/ann/work/.yarn/releases", none},
        {"/users/ann/work/.pnpm-store/v3", forced(C::pnpm)},
        {"/users/ann/library/caches/com.apple.safari", forced(C::caches)},
        {"/users/ann/library/caches/com.apple.dt.xcode", forced(C::xcode)},
        {"/applications/xcode-beta.app/contents", forced(C::xcode)},
        {"/applications/safari.app", forced(C::applications)},
        {"/applications/utilities", forced(C::applications)},
        {"/opt/tools/xcode-helper.app", forced(C::applications)},
        {"/applications/docker.app/contents", forced(C::docker)},
        {"/users/ann/.local/share/containers/storage", forced(C::docker)},
        {"/users/ann/.gradle/caches", forced(C::android)},
        {"/users/ann/library/application support/mobilesync/backup/x", forced(C::iOSBackups)},
        {"/users/ann/downloads", fallback(C::downloads)},
        {"/users/ann/downloads/reports", fallback(C::downloads)},
        {"/users/ann/downloads/site/.git", forced(C::git)},
        {"/users/ann/downloads/site/.git/objects/ab", forced(C::git)},
        {"/users/ann/downloads/site/.github", fallback(C::downloads)},
        {"/users/ann/downloadsold", none},
        {"/users/ann/desktop", fallback(C::desktop)},
        {"/users/ann/documents/taxes", fallback(C::documents)},
        {"/users/ann/pictures", fallback(C::photos)},
        {"/users/ann/movies", fallback(C::videos)},
        {"/users/ann/music/itunes", fallback(C::music)},
        {"/volumes/backup/.trashes/501", forced(C::trash)},
        {"/users/ann/.trash", forced(C::trash)},
        {"/users/ann/library/mail/v10", forced(C::mail)},
        {"/users/ann/library/mobile documents/com~apple~clouddocs", forced(C::cloudStorage)},
        {"/users/ann/.cache/pip", forced(C::caches)},
        {"/users/ann/app/deriveddata", forced(C::caches)},
        {"/private/var/folders/xy", forced(C::caches)},
        {"/private/var/log/asl", forced(C::logs)},
        {"/private/etc", forced(C::system)},
        {"/usr/local/bin", forced(C::system)},
        {"/opt/homebrew/cellar", forced(C::developer)},
        {"/users/ann/.cargo/registry", forced(C::developer)},
        {"/users/ann/go/pkg/mod", forced(C::developer)},
        {"/users/ann/go/src", none},
        {"/opt/other", none},
        {"/", none},
        {"/users/ann", none},
        {"/users/ann/vms/win.vmwarevm/disk", forced(C::virtualMachines)},
        {"/users/ann/my.utm.backup", none},
        {"/users/ann/virtualbox vms/ubuntu", forced(C::virtualMachines)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(categorizer.context(c.folder), c.expected) << c.folder;
}

TEST(StorageCategorizer, TheFreedesktopTrashesAreTheTrash)
{
    struct Case {
        const char* folder;
        Context expected;
    };
    {
        ScopedEnvironment unset("XDG_DATA_HOME", "");
        const StorageCategorizer categorizer("/home/ann");
        const Case cases[] = {
            {"/home/ann/.local/share/Trash", forced(C::trash)},
            {"/home/ann/.local/share/Trash/files/Project", forced(C::trash)},
            {"/media/ann/USB/.Trash-1000/files", forced(C::trash)},
            {"/mnt/disk/.Trash/1000/files/report", forced(C::trash)},
            {"/mnt/disk/.Trash", none},
            {"/mnt/disk/.Trash-x/files", none},
            {"/home/ann/.local/share/trashy", none},
            {"/home/bob/.local/share/Trash/files", none},
        };
        for (const auto& c : cases)
            EXPECT_EQ(categorizer.context(c.folder), c.expected) << c.folder;
        EXPECT_EQ(StorageCategorizer::category("pdf", categorizer.context("/home/ann/.local/share/Trash/files")),
                  C::trash);
    }
    ScopedEnvironment data("XDG_DATA_HOME", "/home/ann/Data");
    const StorageCategorizer categorizer("/home/ann");
    EXPECT_EQ(categorizer.context("/home/ann/Data/Trash/files"), forced(C::trash));
    EXPECT_EQ(categorizer.context("/home/ann/.local/share/Trash/files"), none);
}

TEST(StorageCategorizer, HomeRulesFollowTheHomeFolder)
{
    // A Linux home; the rules apply to whatever home the scan gives.
    const StorageCategorizer categorizer("/home/ann");
    EXPECT_EQ(categorizer.context("/home/ann/Downloads/x"), fallback(C::downloads));
    EXPECT_EQ(categorizer.context("/home/ann/.cache/yarn/v6"), forced(C::yarn));
    EXPECT_EQ(categorizer.context("/home/ann/.cache/thumbnails"), forced(C::caches));
    EXPECT_EQ(categorizer.context("/home/bob/Downloads"), none);
    EXPECT_EQ(categorizer.context("/home/annie/Downloads"), none);
    // Non-ASCII letters are lower-cased too before the rules compare.
    EXPECT_EQ(StorageCategorizer("/home/Ängel").context("/home/Ängel/Downloads"), none);
    EXPECT_EQ(StorageCategorizer(CaseFolding::lowercased("/home/Ängel")).context("/HOME/ÄNGEL/Downloads"),
              fallback(C::downloads));
}

TEST(StorageCategorizer, ExtensionsGiveWayToForcedButNotToFallbackForImagesAndArchives)
{
    struct Case { const char* extension; Context context; C expected; };
    const Case cases[] = {
        {"zip", fallback(C::downloads), C::archives},
        {"vmdk", fallback(C::downloads), C::virtualMachines},
        {"jpg", fallback(C::downloads), C::downloads},
        {"", fallback(C::downloads), C::downloads},
        {"pdf", fallback(C::photos), C::photos},
        {"zip", forced(C::git), C::git},
        {"qcow2", forced(C::caches), C::caches},
        {"pdf", none, C::documents},
        {"swift", none, C::developer},
        {"wasm", none, C::developer},
        {"img", none, C::archives},
        {"jxl", none, C::photos},
        {"vob", none, C::videos},
        {"wma", none, C::music},
        {"odp", none, C::documents},
        {"ovf", none, C::virtualMachines},
        {"xyz", none, C::other},
        {"", none, C::other},
        {"JPG", none, C::other},   // callers lower-case; the sets hold lower case only
    };
    for (const auto& c : cases)
        EXPECT_EQ(StorageCategorizer::category(c.extension, c.context), c.expected) << c.extension;
}

TEST(CaseFolding, FoldsCaseAndCanonicalSpellings)
{
    EXPECT_EQ(CaseFolding::lowercased("/Users/ANN"), "/users/ann");
    EXPECT_EQ(CaseFolding::lowercased("/ÄRGER/Ωmega"), "/ärger/ωmega");
    // "é" precomposed and as "e" plus a combining acute accent fold alike.
    EXPECT_EQ(CaseFolding::lowercased("Caf\xC3\x89"), CaseFolding::lowercased("CAFE\xCC\x81"));
    EXPECT_EQ(CaseFolding::lowercased(""), "");
}
