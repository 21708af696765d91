#include "app/system/ApplicationScanner.h"

#include "support/Eventually.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <plist/plist.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Kind = ApplicationStorageBreakdown::Entry::Kind;
using Arch = CPUArchitecture;

namespace {

const char* const linuxSignatureMessage = "Code signatures cannot be checked on this system";

// XML property list with string values, plus raw XML for values of other types.
std::string xmlPlist(const std::map<std::string, std::string>& strings, const std::string& raw = "")
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : strings)
        xml += "\t<key>" + key + "</key>\n\t<string>" + value + "</string>\n";
    return xml + raw + "</dict>\n</plist>\n";
}

std::string binaryPlist(const std::map<std::string, std::string>& strings,
                        const std::map<std::string, std::uint64_t>& numbers = {})
{
    plist_t dict = plist_new_dict();
    for (const auto& [key, value] : strings)
        plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
    for (const auto& [key, value] : numbers)
        plist_dict_set_item(dict, key.c_str(), plist_new_uint(value));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(dict);
    return result;
}

// A thin 64-bit arm64 Mach-O header.
std::string arm64Executable()
{
    return std::string("\xCF\xFA\xED\xFE\x0C\x00\x00\x01\x00\x00\x00\x00\x02\x00\x00\x00", 16);
}

std::string bundle(const TempDir& dir, const std::string& relative, const std::string& infoPlist = "")
{
    if (!infoPlist.empty())
        dir.write(relative + "/Contents/Info.plist", infoPlist);
    return dir.makeFolder(relative);
}

std::vector<std::string> relativeTo(const TempDir& dir, std::vector<std::string> paths)
{
    for (auto& path : paths)
        path = path.substr(dir.path().size() + 1);
    return paths;
}

// Plays the platform's code-signing service with fixed answers.
struct FakeSigning : CodeSigning {
    Status create = success;
    Status copy = success;
    Status validity = success;
    SigningInformation information;
    std::map<Status, std::string> messages;

    Status createStaticCode(const std::string& path, StaticCode& code) const override
    {
        code.path = path;
        return create;
    }
    Status copySigningInformation(const StaticCode&, SigningInformation& out) const override
    {
        out = information;
        return copy;
    }
    Status checkValidity(const StaticCode&) const override { return validity; }
    std::optional<std::string> errorMessage(Status status) const override
    {
        const auto found = messages.find(status);
        return found == messages.end() ? std::nullopt : std::optional(found->second);
    }
};

} // namespace

TEST(ApplicationScanner, DeveloperNameFromCertificateSummary)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"Software Signing", "Apple"},
        {"Apple Mac OS Application Signing", std::nullopt},
        {"Apple iPhone OS Application Signing", "Apple"},
        {"Apple Development: Jane Roe (AB12CD34EF)", "Jane Roe"},
        {"Developer ID Application: Example Corp (TEAM123456)", "Example Corp"},
        {"Developer ID Application: Foo (Europe) Ltd (TEAM123456)", "Foo (Europe) Ltd"},
        {"Developer ID Application: No Team", "No Team"},
        {"Example Corp", "Example Corp"},
        {"Example Corp (Beta", "Example Corp (Beta"},
        {"Developer ID Application: ", std::nullopt},
        {"", std::nullopt},
        {"Kind: Name: With Colon (T)", "Name: With Colon"},
        {"Apple", "Apple"},
    };
    for (const auto& [summary, expected] : cases)
        EXPECT_EQ(ApplicationScanner::developerName(summary), expected) << summary;
}

TEST(ApplicationScanner, SigningIdentityFromSigningInformation)
{
    using S = CodeSignatureStatus;
    struct Case {
        const char* what;
        CodeSigning::Status create, copy;
        CodeSigning::SigningInformation information;
        ApplicationScanner::SigningIdentity expected;
    };
    const std::vector<Case> cases = {
        {"no identifier", 0, 0, {std::nullopt, "TEAM", 0, {"X"}}, {std::nullopt, std::nullopt, S::unsigned_()}},
        {"identifier without certificates", 0, 0, {"com.x", "TEAM", 0, {}}, {std::nullopt, "TEAM", S::adHoc()}},
        {"ad-hoc flag set", 0, 0, {"com.x", std::nullopt, 0x2 | 0x10000, {"Developer ID Application: A (T)"}},
         {std::nullopt, std::nullopt, S::adHoc()}},
        {"developer certificate", 0, 0, {"com.x", "T", 0x10000, {"Developer ID Application: A (T)", "Root"}},
         {"A", "T", S::signed_("Developer ID Application: A (T)")}},
        {"certificate without summary", 0, 0, {"com.x", "T", std::nullopt, {std::nullopt}},
         {"Unknown authority", "T", S::signed_("Unknown authority")}},
        {"App Store signature", 0, 0, {"com.x", "T", 0, {"Apple Mac OS Application Signing"}},
         {std::nullopt, "T", S::signed_("Apple Mac OS Application Signing")}},
        {"no static code", -67068, 0, {"com.x", "T", 0, {"A"}},
         {std::nullopt, std::nullopt, S::unavailable("Could not read the bundle")}},
        {"signing information fails", 0, -67050, {"com.x", "T", 0, {"A"}},
         {std::nullopt, std::nullopt, S::unavailable("OSStatus -67050")}},
    };
    for (const auto& c : cases) {
        FakeSigning signing;
        signing.create = c.create;
        signing.copy = c.copy;
        signing.information = c.information;
        EXPECT_EQ(ApplicationScanner::signingIdentity("/Applications/X.app", signing), c.expected) << c.what;
    }
}

TEST(ApplicationScanner, ValidationConfirmsOrRejectsTheSignature)
{
    using S = CodeSignatureStatus;
    const CodeSigning::SigningInformation signedBy{"com.x", "T", 0, {"Developer ID Application: A (T)"}};
    const CodeSigning::SigningInformation adHoc{"com.x", std::nullopt, 0x2, {}};
    struct Case {
        const char* what;
        CodeSigning::Status create, validity;
        CodeSigning::SigningInformation information;
        S expected;
    };
    const std::vector<Case> cases = {
        {"valid and signed", 0, 0, signedBy, S::valid("Developer ID Application: A (T)")},
        {"valid ad-hoc stays ad-hoc", 0, 0, adHoc, S::adHoc()},
        {"not signed at all", 0, -67062, signedBy, S::unsigned_()},
        {"modified bundle with a message", 0, -67061, signedBy, S::invalid("invalid signature (code or signature have been modified)")},
        {"failure without a message", 0, -67030, signedBy, S::invalid("OSStatus -67030")},
        {"no static code", -67068, 0, signedBy, S::unavailable("Could not read the bundle")},
    };
    for (const auto& c : cases) {
        FakeSigning signing;
        signing.create = c.create;
        signing.validity = c.validity;
        signing.information = c.information;
        signing.messages[-67061] = "invalid signature (code or signature have been modified)";
        EXPECT_EQ(ApplicationScanner::validateSignature("/Applications/X.app", signing), c.expected) << c.what;
    }
}

TEST(ApplicationScanner, SignaturesAreReportedUnavailableOnThisSystem)
{
    TempDir dir;
    const auto app = bundle(dir, "Foo.app", xmlPlist({{"CFBundleIdentifier", "com.example.foo"}}));
    const auto expected = CodeSignatureStatus::unavailable(linuxSignatureMessage);
    EXPECT_EQ(ApplicationScanner::signingIdentity(app), (ApplicationScanner::SigningIdentity{std::nullopt, std::nullopt, expected}));
    EXPECT_EQ(ApplicationScanner::validateSignature(app), expected);
    EXPECT_EQ(ApplicationScanner::validateSignature(dir.file("Gone.app")),
              CodeSignatureStatus::unavailable("Could not read the bundle"));
}

TEST(ApplicationScanner, FindsBundlesAtTheirDepthsOnce)
{
    TempDir dir;
    const auto first = dir.makeFolder("first");
    const auto second = dir.makeFolder("second");
    bundle(dir, "first/Foo.app");
    bundle(dir, "first/Bar.APP");
    dir.write("first/Baz.app", "not a folder");
    bundle(dir, "first/Utilities/Tool.app");
    bundle(dir, "first/Suite/Tools/Deep.app");
    bundle(dir, "first/A/B/C/TooDeep.app");
    bundle(dir, "first/.Hidden.app");
    bundle(dir, "first/.hidden/Inside.app");
    bundle(dir, "first/Foo.app/Contents/Helpers/Nested.app");
    bundle(dir, "first/Suite/Tools/Deep.app/Contents/Library/Inner.app");
    bundle(dir, "elsewhere/Linked.app");
    bundle(dir, "elsewhere/Folder/Behind.app");
    fs::create_directory_symlink(dir.file("first/Foo.app"), dir.file("second/Foo.app"));
    fs::create_directory_symlink(dir.file("elsewhere/Linked.app"), dir.file("second/Linked.app"));
    fs::create_directory_symlink(dir.file("elsewhere/Folder"), dir.file("second/Folder"));
    fs::create_symlink(dir.file("nowhere"), dir.file("second/Dangling.app"));

    const ApplicationScanner scanner{{first, second, dir.file("missing")}};
    auto found = relativeTo(dir, scanner.findApplicationBundles());
    // The link to Foo.app is reached after the bundle itself and so is dropped.
    const auto secondStart = std::find_if(found.begin(), found.end(), [](auto& p) { return p.starts_with("second/"); });
    EXPECT_TRUE(std::all_of(found.begin(), secondStart, [](auto& p) { return p.starts_with("first/"); }));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"first/Bar.APP", "first/Foo.app", "first/Suite/Tools/Deep.app",
                                               "first/Utilities/Tool.app", "second/Dangling.app",
                                               "second/Linked.app"}));

    // The same folder searched twice lists its bundles once.
    const ApplicationScanner twice{{first, first}};
    EXPECT_EQ(twice.findApplicationBundles().size(), 4u);
}

TEST(ApplicationScanner, ReadsInfoPlistInEitherFormat)
{
    TempDir dir;
    const std::map<std::string, std::string> facts = {
        {"CFBundleDisplayName", "Foo Pro"}, {"CFBundleName", "Foo"}, {"CFBundleIdentifier", "com.example.foo"},
        {"CFBundleShortVersionString", "2.1"}, {"CFBundleVersion", "410"}, {"LSMinimumSystemVersion", "14.0"},
        {"NSHumanReadableCopyright", "© Example"}, {"CFBundleExecutable", "Foo"},
    };
    for (const auto& [folder, plist] : {std::pair{"Xml.app", xmlPlist(facts)}, {"Binary.app", binaryPlist(facts)}}) {
        const auto path = bundle(dir, folder, plist);
        dir.write(std::string(folder) + "/Contents/MacOS/Foo", arm64Executable());
        const auto app = ApplicationScanner::readApplication(path);
        ASSERT_TRUE(app) << folder;
        EXPECT_EQ(app->name, "Foo Pro");
        EXPECT_EQ(app->path, path);
        EXPECT_EQ(app->bundleIdentifier, "com.example.foo");
        EXPECT_EQ(app->displayVersion(), "2.1 (410)");
        EXPECT_EQ(app->minimumSystemVersion, "14.0");
        EXPECT_EQ(app->copyright, "© Example");
        EXPECT_EQ(app->executableName, "Foo");
        EXPECT_EQ(app->architectures, std::vector{Arch::arm64});
        EXPECT_FALSE(app->isSystemApp);
        EXPECT_FALSE(app->isAppStoreApp);
        EXPECT_EQ(app->developer, std::nullopt);
        EXPECT_EQ(app->signature, CodeSignatureStatus::unavailable(linuxSignatureMessage));
        EXPECT_EQ(app->lastUsed, std::nullopt);
    }
}

TEST(ApplicationScanner, MissingAndMistypedKeysFallBack)
{
    TempDir dir;
    struct Case { const char* folder; std::string plist; const char* name; std::optional<std::string> build; };
    const std::vector<Case> cases = {
        {"NoPlist.app", "", "NoPlist", std::nullopt},
        {"EmptyDisplay.app", xmlPlist({{"CFBundleDisplayName", ""}, {"CFBundleName", "Short"}}), "Short", std::nullopt},
        {"AllEmpty.app", xmlPlist({{"CFBundleDisplayName", ""}, {"CFBundleName", ""}}), "AllEmpty", std::nullopt},
        {"NumberBuild.app", xmlPlist({}, "\t<key>CFBundleVersion</key>\n\t<integer>410</integer>\n"), "NumberBuild",
         std::nullopt},
        {"BinaryNumber.app", binaryPlist({{"CFBundleName", "Bin"}}, {{"CFBundleVersion", 7}}), "Bin", std::nullopt},
        {"NumberName.app", xmlPlist({{"CFBundleVersion", "3"}}, "\t<key>CFBundleName</key>\n\t<real>1.5</real>\n"),
         "NumberName", "3"},
        {"Garbage.app", "this is not a property list", "Garbage", std::nullopt},
        {"Array.app", "<plist version=\"1.0\"><array><string>x</string></array></plist>", "Array", std::nullopt},
        {"Dotted.name.app", "", "Dotted.name", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto app = ApplicationScanner::readApplication(bundle(dir, c.folder, c.plist));
        ASSERT_TRUE(app) << c.folder;
        EXPECT_EQ(app->name, c.name) << c.folder;
        EXPECT_EQ(app->build, c.build) << c.folder;
        EXPECT_EQ(app->version, std::nullopt) << c.folder;
        EXPECT_TRUE(app->architectures.empty()) << c.folder;
    }
}

TEST(ApplicationScanner, SystemAndAppStoreFlags)
{
    for (const auto& [path, system] : std::vector<std::pair<std::string, bool>>{
             {"/System/Applications/Calculator.app", true},
             {"/SYSTEM/Library/CoreServices/Finder.app", true},
             {"/Systemic/Foo.app", false},
             {"/Applications/System.app", false},
         }) {
        const auto app = ApplicationScanner::readApplication(path);
        ASSERT_TRUE(app);
        EXPECT_EQ(app->isSystemApp, system) << path;
        EXPECT_EQ(app->developer, system ? std::optional<std::string>("Apple") : std::nullopt) << path;
    }

    TempDir dir;
    const auto store = bundle(dir, "Store.app", xmlPlist({{"CFBundleName", "Store"}}));
    dir.write("Store.app/Contents/_MASReceipt/receipt", "r");
    EXPECT_TRUE(ApplicationScanner::readApplication(store)->isAppStoreApp);
}

TEST(ApplicationScanner, ExecutableMustBeARegularFileInsideTheBundle)
{
    TempDir dir;
    dir.write("outside/Tool", arm64Executable());
    const auto read = [&](const std::string& folder, const std::string& executable) {
        const auto path = bundle(dir, folder, xmlPlist({{"CFBundleExecutable", executable}}));
        dir.makeFolder(folder + "/Contents/MacOS");
        return ApplicationScanner::readApplication(path)->architectures;
    };

    dir.write("Good.app/Contents/MacOS/Good", arm64Executable());
    EXPECT_EQ(read("Good.app", "Good"), std::vector{Arch::arm64});

    dir.write("Relative.app/Contents/Tool", arm64Executable());
    EXPECT_TRUE(read("Relative.app", "../Tool").empty());
    EXPECT_TRUE(read("Escape.app", "../../../outside/Tool").empty());
    EXPECT_TRUE(read("Dot.app", "..").empty());
    EXPECT_TRUE(read("Empty.app", "").empty());

    fs::create_directories(dir.file("Linked.app/Contents/MacOS"));
    fs::create_symlink(dir.file("outside/Tool"), dir.file("Linked.app/Contents/MacOS/Linked"));
    EXPECT_TRUE(read("Linked.app", "Linked").empty());

    // A link that stays inside the bundle is fine.
    dir.write("Inner.app/Contents/Resources/Real", arm64Executable());
    fs::create_directories(dir.file("Inner.app/Contents/MacOS"));
    fs::create_symlink("../Resources/Real", dir.file("Inner.app/Contents/MacOS/Inner"));
    EXPECT_EQ(read("Inner.app", "Inner"), std::vector{Arch::arm64});

    // Pipes in place of the executable or the Info.plist must not stall the listing.
    fs::create_directories(dir.file("Pipe.app/Contents/MacOS"));
    ASSERT_EQ(::mkfifo(dir.file("Pipe.app/Contents/MacOS/Pipe").c_str(), 0600), 0);
    fs::create_directories(dir.file("PipePlist.app/Contents"));
    ASSERT_EQ(::mkfifo(dir.file("PipePlist.app/Contents/Info.plist").c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] {
        const auto pipe = read("Pipe.app", "Pipe");
        const auto plist = ApplicationScanner::readApplication(dir.file("PipePlist.app"));
        return pipe.empty() && plist && plist->name == "PipePlist";
    });
    if (pending.wait_for(waitLimit) != std::future_status::ready) {
        ::close(::open(dir.file("Pipe.app/Contents/MacOS/Pipe").c_str(), O_WRONLY | O_NONBLOCK));
        ::close(::open(dir.file("PipePlist.app/Contents/Info.plist").c_str(), O_WRONLY | O_NONBLOCK));
        FAIL() << "reading a FIFO blocked";
    }
    EXPECT_TRUE(pending.get());
}

TEST(ApplicationScanner, ListingSortsByNameAsTheFileBrowserDoes)
{
    TempDir dir;
    const auto root = dir.makeFolder("Applications");
    const std::pair<const char*, const char*> bundles[] = {
        {"b.app", "App 10"}, {"c.app", "app 9"}, {"d.app", "Beta"}, {"e.app", "alpha"}, {"f.app", "Zed"},
    };
    for (const auto& [folder, name] : bundles)
        bundle(dir, std::string("Applications/") + folder, xmlPlist({{"CFBundleName", name}}));
    bundle(dir, "Applications/Broken.app", "<plist");

    std::vector<std::string> names;
    for (const auto& app : ApplicationScanner{{root}}.scanApplications())
        names.push_back(app.name);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "app 9", "App 10", "Beta", "Broken", "Zed"}));
}

TEST(ApplicationScanner, DataLocationsUnderTheLibrary)
{
    TempDir home;
    const std::string library = home.path() + "/Library";
    const char* const existing[] = {
        "Application Support/com.example.app", "Caches/com.example.app", "Application Support/Example",
        "Logs/Example", "Containers/com.example.app", "HTTPStorages/com.example.app",
        "Saved Application State/com.example.app.savedState", "Group Containers/TEAM12345.shared",
        "Group Containers/TEAM12345.more", "Group Containers/OTHER.shared", "Group Containers/TEAM12345",
    };
    for (const auto* folder : existing)
        home.makeFolder(std::string("Library/") + folder);
    home.write("Library/Preferences/com.example.app.plist", "p");
    home.write("Library/Group Containers/TEAM12345.file", "not a folder");

    ApplicationInfo app;
    app.name = "Example";
    app.bundleIdentifier = "com.example.app";
    app.teamIdentifier = "TEAM12345";
    auto locations = ApplicationScanner::dataLocations(app, home.path());

    const std::vector<ApplicationScanner::DataLocation> fixedPart = {
        {Kind::data, library + "/Application Support/com.example.app"},
        {Kind::cache, library + "/Caches/com.example.app"},
        {Kind::data, library + "/Application Support/Example"},
        {Kind::logs, library + "/Logs/Example"},
        {Kind::containers, library + "/Containers/com.example.app"},
        {Kind::cache, library + "/HTTPStorages/com.example.app"},
        {Kind::preferences, library + "/Preferences/com.example.app.plist"},
        {Kind::savedState, library + "/Saved Application State/com.example.app.savedState"},
    };
    ASSERT_EQ(locations.size(), fixedPart.size() + 2);
    EXPECT_EQ(std::vector(locations.begin(), locations.begin() + 8), fixedPart);
    std::vector groups(locations.begin() + 8, locations.end());
    std::sort(groups.begin(), groups.end(), [](auto& a, auto& b) { return a.path < b.path; });
    EXPECT_EQ(groups, (std::vector<ApplicationScanner::DataLocation>{
                          {Kind::containers, library + "/Group Containers/TEAM12345.more"},
                          {Kind::containers, library + "/Group Containers/TEAM12345.shared"}}));

    // Names keep their letter case: keys that differ only in case are two folders here.
    home.makeFolder("Library/Application Support/example");
    ApplicationInfo cased;
    cased.name = "example";
    cased.bundleIdentifier = "Example";
    EXPECT_EQ(ApplicationScanner::dataLocations(cased, home.path()),
              (std::vector<ApplicationScanner::DataLocation>{{Kind::data, library + "/Application Support/Example"},
                                                              {Kind::logs, library + "/Logs/Example"},
                                                              {Kind::data, library + "/Application Support/example"}}));
}

TEST(ApplicationScanner, DataLocationsOfTheDesktop)
{
    TempDir home;
    for (const auto* folder : {".config/org.example.App", ".cache/Example", ".local/share/org.example.App",
                               ".local/state/Example", ".var/app/org.example.App", ".config/example", "snap/Example"})
        home.makeFolder(folder);
    // A link to a folder already listed adds nothing.
    ASSERT_EQ(::symlink("org.example.App", home.file(".config/Example").c_str()), 0);

    ApplicationInfo app;
    app.name = "Example";
    app.bundleIdentifier = "org.example.App";
    app.packageName = "org.example.App";
    app.source = InstallSource::flatpak;
    const std::string h = home.path();
    EXPECT_EQ(ApplicationScanner::dataLocations(app, h),
              (std::vector<ApplicationScanner::DataLocation>{
                  {Kind::preferences, h + "/.config/org.example.App"},
                  {Kind::data, h + "/.local/share/org.example.App"},
                  {Kind::cache, h + "/.cache/Example"},
                  {Kind::savedState, h + "/.local/state/Example"},
                  {Kind::containers, h + "/.var/app/org.example.App"},
              }));

    // A snap keeps its data under ~/snap/<name>.
    app.source = InstallSource::snap;
    app.packageName = "Example";
    app.bundleIdentifier.reset();
    EXPECT_EQ(ApplicationScanner::dataLocations(app, h),
              (std::vector<ApplicationScanner::DataLocation>{
                  {Kind::preferences, h + "/.config/Example"},
                  {Kind::cache, h + "/.cache/Example"},
                  {Kind::savedState, h + "/.local/state/Example"},
                  {Kind::containers, h + "/snap/Example"},
              }));
}

TEST(ApplicationScanner, DataLocationKeysCannotLeaveTheirFolder)
{
    TempDir home;
    home.makeFolder("Library/Application Support/Real");
    home.makeFolder("Library/Caches");
    home.makeFolder("Library/Logs");
    home.makeFolder("Library/Containers");
    home.makeFolder("Library/Group Containers/x.y");
    home.write("Library/Preferences/..plist", "a file named by an empty identifier");

    for (const std::string& key : std::vector<std::string>{"", ".", "..", "../Caches", "Real/..", "a/b", std::string("Real\0x", 6)}) {
        ApplicationInfo app;
        app.name = key;
        app.bundleIdentifier = key;
        app.teamIdentifier = key;
        EXPECT_TRUE(ApplicationScanner::dataLocations(app, home.path()).empty()) << key;
    }

    // An unusable identifier does not keep a usable name from matching.
    ApplicationInfo named;
    named.name = "Real";
    named.bundleIdentifier = "";
    EXPECT_EQ(ApplicationScanner::dataLocations(named, home.path()).size(), 1u);
}
