#include "ui/screens/files/FileDetailView.h"

#include "analysis/FileDetailsLoader.h"
#include "analysis/FileItemPath.h"
#include "app/QtText.h"
#include "platform/qt/MimeTypeDescriber.h"
#include "ui/components/LocaleText.h"
#include "app/support/RecordingModel.h"
#include "support/FileItems.h"
#include "ui/support/UiTestSupport.h"
#include "ui/support/LayoutCheck.h"

#include <QLabel>
#include <QThreadPool>
#include <QToolButton>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

const QString dash = QStringLiteral("\u2014");

FileItem indexed(const std::string& folder, const std::string& name, const std::string& extension)
{
    return fileAt(Paths::appending(folder, name), {.id = 7,
                                                   .fileExtension = extension,
                                                   .size = 1234,
                                                   .allocatedSize = 4096,
                                                   .modified = 1700000000.0,
                                                   .category = StorageCategory::documents});
}

QString factValue(const std::vector<FileDetailView::Fact>& facts, const QString& label)
{
    for (const auto& fact : facts) {
        if (fact.label == label)
            return fact.value;
    }
    return QStringLiteral("<no row>");
}

// Holds every load of one path until released, the way a slow disk would.
struct SlowPath {
    explicit SlowPath(std::string held) : path(std::move(held)) {}
    // The view does not wait for its load when it goes; the test must, before what the load reads goes.
    ~SlowPath()
    {
        release();
        QThreadPool::globalInstance()->waitForDone();
    }

    std::string path;
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::vector<std::string> asked;

    FileDetailView::Loader loader(FileDetails answer)
    {
        return [this, answer](const std::string& requested) {
            std::unique_lock lock(mutex);
            asked.push_back(requested);
            if (requested == path)
                changed.wait(lock, [this] { return released; });
            FileDetails details = answer;
            details.typeIdentifier = requested;
            return details;
        };
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

FileDetails loadedDetails(PathSafety safety = PathSafety::allowed())
{
    FileDetails details;
    details.exists = true;
    details.safety = std::move(safety);
    return details;
}

} // namespace

TEST(FileDetailView, FactsFallBackToTheIndexUntilDetailsArrive)
{
    ensureApplication();
    const std::string home = "/home/ann";
    FileItem report = indexed(home + "/Documents", "report.pdf", "pdf");
    FileItem bare = indexed("/", "swapfile", "");
    bare.flags = FileItem::Flags::symlink | FileItem::Flags::hardLink | FileItem::Flags::hidden;

    FileDetails group;
    group.group = "staff";
    group.logicalSize = 2'000'000;
    group.typeIdentifier = "application/pdf";
    group.accessed = 1700000500.0;
    // A file system without birth times reports the first second of 1970.
    FileDetails unborn = group;
    unborn.created = 0.0;
    FileDetails both = group;
    both.owner = "ann";
    both.isSymlink = true;
    both.symlinkDestination = "/srv/target";
    both.posixPermissions = "rw-r--r-- (644)";

    struct Case {
        const char* what;
        const FileItem& file;
        std::optional<FileDetails> details;
        QString label;
        QString expected;
    };
    const FileItem library = indexed("/usr/lib", "libfoo.so.13", "13");
    const std::vector<Case> cases{
        {"size on disk", report, std::nullopt, "Size", "4.10 KB on disk"},
        {"logical size from the index", report, std::nullopt, "Logical size", "1.23 KB (1,234 bytes)"},
        {"logical size from the disk", report, group, "Logical size", "2.00 MB (2,000,000 bytes)"},
        {"type: the extension upper-cased", report, std::nullopt, "Type", "PDF"},
        {"type: a file without extension", bare, std::nullopt, "Type", "File"},
        {"type: the loaded identifier", report, group, "Type", "application/pdf"},
        {"category", report, std::nullopt, "Category", "Documents"},
        {"created unknown", report, std::nullopt, "Created", dash},
        {"no birth time on disk", report, unborn, "Created", dash},
        {"modified from the index", report, std::nullopt, "Modified", LocaleText::longDate(1700000000.0)},
        {"last opened unknown", report, std::nullopt, "Last opened", "Not available"},
        {"last opened from the disk", report, group, "Last opened", LocaleText::longDate(1700000500.0)},
        {"location abbreviated", report, std::nullopt, "Location", "~/Documents"},
        {"location of the root folder", bare, std::nullopt, "Location", "/"},
        {"permissions not loaded", report, std::nullopt, "Permissions", dash},
        {"permissions loaded", report, both, "Permissions", "rw-r--r-- (644)"},
        {"owner not loaded", report, std::nullopt, "Owner", dash},
        {"owner: only the group known", report, group, "Owner", "staff"},
        {"owner and group", report, both, "Owner", "ann / staff"},
        {"hidden from the flags", bare, std::nullopt, "Hidden", "Yes"},
        {"hidden: the disk says no", bare, group, "Hidden", "No"},
        {"link flag without details", bare, std::nullopt, "Symbolic link", "Yes \u2192 ?"},
        {"link with its target", report, both, "Symbolic link", "Yes \u2192 /srv/target"},
        {"no link", report, std::nullopt, "Symbolic link", "No"},
        // Linux has no aliases: a row that always said "No" would only name another system's thing.
        {"no alias row", report, group, "Alias", "<no row>"},
        {"type: a versioned shared library", library, std::nullopt, "Type", "SO"},
        {"hard link row only with its flag", report, std::nullopt, "Hard link", "<no row>"},
        {"hard link", bare, std::nullopt, "Hard link",
         "Yes \u2014 shares storage with another path; counted once in totals"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(factValue(FileDetailView::facts(c.file, c.details, home), c.label), c.expected) << c.what;

    // The rows keep their order, whatever is loaded.
    QStringList labels;
    for (const auto& fact : FileDetailView::facts(bare, both, home))
        labels << fact.label;
    EXPECT_EQ(labels, QStringList({"Size", "Logical size", "Type", "Category", "Created", "Modified", "Last opened",
                                   "Location", "Permissions", "Owner", "Hidden", "Symbolic link", "Hard link"}));

    const MimeTypeDescriber types;
    FileDetails described;
    described.typeDescription = "PDF document";
    EXPECT_EQ(FileDetailView::kindText(report, described, types), "PDF document");
    EXPECT_EQ(FileDetailView::kindText(bare, std::nullopt, types), "Document");
    // A version after the name is no type: the library is described as one.
    EXPECT_EQ(FileDetailView::kindText(library, std::nullopt, types),
              qstr(FileDetailsLoader::typeDescription("so", types)));
}

TEST(FileDetailView, RemovalIsOfferedUnlessProtectedOrMisnamed)
{
    RecordingModel support;
    const FileItem file = indexed(support.home.path() + "/Downloads", "big.iso", "iso");
    FileItem misnamed = file;
    misnamed.flags = FileItem::Flags::invalidName;
    misnamed.name = "big\xEF\xBF\xBD.iso";
    // The file's own name is fine, but a folder above it was repaired.
    const FileItem inMisnamedFolder = indexed(support.home.path() + "/Downloads/old\xEF\xBF\xBD", "big.iso", "iso");

    struct Case {
        const char* what;
        const FileItem& file;
        PathSafety safety;
        bool enabled;
        QString badge;
    };
    const std::vector<Case> cases{
        {"allowed: no badge", file, PathSafety::allowed(), true, ""},
        {"caution: still offered, with the reason", file, PathSafety::caution("Inside an app bundle."), true,
         "Inside an app bundle."},
        {"protected: refused, with the reason", file, PathSafety::protected_("System file."), false, "System file."},
        {"a name the scanner marked as not valid", misnamed, PathSafety::allowed(), false, ""},
        {"a folder on the path with a repaired name", inMisnamedFolder, PathSafety::allowed(), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileDetailView view(*support.model, c.file, nullptr,
                            [safety = c.safety](const std::string&) { return loadedDetails(safety); });
        ASSERT_TRUE(waitUntil([&] { return view.details().has_value(); }));
        EXPECT_EQ(view.trashButton()->isEnabled(), c.enabled);
        EXPECT_EQ(view.safetyBadgeText(), c.badge);
        EXPECT_EQ(view.safetyBadge()->isHidden(), c.badge.isEmpty());
    }

    // Before anything is loaded the path rules alone judge: a path outside the home folder
    // that the rules protect cannot be offered.
    SlowPath never{"/bin/ls"};
    FileDetailView system(*support.model, indexed("/bin", "ls", ""), nullptr, never.loader(loadedDetails()));
    EXPECT_FALSE(system.details().has_value());
    EXPECT_FALSE(system.trashButton()->isEnabled());
    EXPECT_FALSE(system.safetyBadgeText().isEmpty());
}

TEST(FileDetailView, ActsOnTheFullPathOfTheFile)
{
    RecordingModel support;
    const std::string real = support.home.write("Downloads/movie.mkv", std::string(5000, 'x'));
    FileItem file = indexed(support.home.path() + "/Downloads", "movie.mkv", "mkv");
    SlowPath slow{"unused"};
    FileDetailView view(*support.model, file, nullptr, slow.loader(loadedDetails()));
    ASSERT_TRUE(waitUntil([&] { return view.details().has_value(); }));
    EXPECT_EQ(slow.asked, std::vector<std::string>{real});

    view.reveal();
    view.copyPath();
    EXPECT_EQ(support.desktop->revealed, std::vector<std::vector<std::string>>{{real}});
    EXPECT_EQ(support.desktop->copied, std::vector<std::string>{real});

    view.trashButton()->click();
    ASSERT_TRUE(waitUntil([&] { return support.model->trashRequest().has_value(); }));
    const std::vector<TrashCandidate> expected{{real, "movie.mkv", 4096, false, std::nullopt}};
    EXPECT_EQ(support.model->trashRequest()->candidates, expected);

    // A file of the root folder has one slash.
    view.setFile(indexed("/", "swapfile", ""));
    ASSERT_TRUE(waitUntil([&] { return view.details() && view.details()->typeIdentifier == "/swapfile"; }));
    view.copyPath();
    EXPECT_EQ(support.desktop->copied.back(), "/swapfile");
}

TEST(FileDetailView, AnAnswerForAnotherFileNeverShows)
{
    RecordingModel support;
    FileItem first = indexed(support.home.path(), "first.bin", "bin");
    FileItem second = indexed(support.home.path(), "second.bin", "bin");
    second.id = 8;
    SlowPath slow{pathOf(first)};
    FileDetailView view(*support.model, first, nullptr, slow.loader(loadedDetails()));
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(slow.mutex);
        return !slow.asked.empty();
    }));

    view.setFile(second);
    ASSERT_TRUE(waitUntil([&] { return view.details().has_value(); }));
    EXPECT_EQ(view.details()->typeIdentifier, pathOf(second));
    EXPECT_FALSE(view.isLoading());

    slow.release();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.details()->typeIdentifier, pathOf(second));

    // Another file clears what was loaded for the previous one at once.
    FileItem third = second;
    third.id = 9;
    third.name = "third.bin";
    view.setFile(third);
    EXPECT_FALSE(view.details().has_value());
    EXPECT_EQ(factValue(FileDetailView::facts(third, view.details(), support.home.path()), "Permissions"), dash);
}

TEST(FileDetailView, AMissingFileKeepsItsRowsAndSaysSo)
{
    RecordingModel support;
    const std::string real = support.home.write("Documents/notes.txt", "hello, world");
    FileItem present = indexed(support.home.path() + "/Documents", "notes.txt", "txt");
    present.size = 12;
    FileDetailView view(*support.model, present);
    view.resize(320, 640);
    ASSERT_TRUE(waitUntil([&] { return view.details().has_value(); }));
    EXPECT_TRUE(view.details()->exists);
    EXPECT_TRUE(view.missingNotice()->isHidden());
    EXPECT_TRUE(view.trashButton()->isEnabled());
    view.show();
    saveScreenshot(view, "FileDetailView");

    // Another file and its details are new texts in the same widgets.
    const QList<QLabel*> before = view.findChildren<QLabel*>();
    FileItem gone = indexed(support.home.path() + "/Documents", "gone.txt", "txt");
    gone.id = 99;
    view.setFile(gone);
    EXPECT_TRUE(view.missingNotice()->isHidden());
    ASSERT_TRUE(waitUntil([&] { return view.details().has_value(); }));
    EXPECT_FALSE(view.details()->exists);
    EXPECT_FALSE(view.missingNotice()->isHidden());
    EXPECT_EQ(factValue(FileDetailView::facts(gone, view.details(), support.home.path()), "Size"),
              "4.10 KB on disk");
    EXPECT_EQ(view.findChildren<QLabel*>(), before);
    saveScreenshot(view, "FileDetailViewMissing");
}

// In the inspector's column the panel is as wide as the column: a long name, a deep folder
// and the protection line are shortened or wrapped there, never cut at its edge.
TEST(FileDetailView, ContentStaysInsideItsColumn)
{
    RecordingModel support;
    const std::string folder = support.home.path() + "/Documents/" + std::string(60, 'd') + "/" + std::string(50, 'e');
    FileItem file = indexed(folder, std::string(90, 'n') + ".tar.gz", "gz");
    FileItem guarded = indexed("/usr/lib/x86_64-linux-gnu", "libsomething-with-a-long-name.so.6.0.30", "30");
    for (const FileItem& shown : {file, guarded}) {
        FileDetailView view(*support.model, shown);
        view.resize(300, 700);
        view.show();
        ASSERT_TRUE(waitUntil([&] { return view.details().has_value(); }));
        QCoreApplication::processEvents();
        QWidget* content = view.widget();
        SCOPED_TRACE(shown.name);
        EXPECT_LE(content->width(), view.viewport()->width());
        EXPECT_EQ(cutWidgets(view), "");
        for (QWidget* child : content->findChildren<QWidget*>())
            if (child->isVisibleTo(content)) {
                EXPECT_LE(child->mapTo(content, QPoint(child->width(), 0)).x(), content->width())
                    << child->metaObject()->className() << " " << child->objectName().toStdString();
            }
        saveScreenshot(view, QStringLiteral("FileDetailView-narrow-%1").arg(shown.name.size()));
    }
}
