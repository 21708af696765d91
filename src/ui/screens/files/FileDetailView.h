#pragma once

#include "index/FileRecords.h"
#include "index/PathSafety.h"

#include <QScrollArea>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class AppModel;
class FileTypeDescriber;
class LatestLoad;
class QGridLayout;
class QLabel;
class WrappingText;
class QToolButton;

// The inspector of one indexed file: what the index knows at once, fresher facts
// from the file system when they arrive, and Reveal, Copy Path and Move to Trash.
// Any screen that lists files can show it.
class FileDetailView : public QScrollArea {
    Q_OBJECT

public:
    // Reads the facts of a path; runs off the main thread.
    using Loader = std::function<FileDetails(const std::string& path)>;

    // Without a loader the file system and the MIME database are read.
    FileDetailView(AppModel& model, FileItem file, QWidget* parent = nullptr, Loader loader = {});

    // Shows another file. The facts of the previous one are dropped at once, and an
    // answer still on its way for it is never shown.
    void setFile(FileItem file);
    const FileItem& file() const { return file_; }
    const std::optional<FileDetails>& details() const { return details_; }
    bool isLoading() const;

    struct Fact {
        QString label;
        QString value;
        friend bool operator==(const Fact&, const Fact&) = default;
    };
    // The facts grid: the loaded details where present, else the index's values. A
    // date at or before 1970 is one the file system does not keep (no birth time).
    static std::vector<Fact> facts(const FileItem& file, const std::optional<FileDetails>& details,
                                   const std::string& home);
    static QString kindText(const FileItem& file, const std::optional<FileDetails>& details,
                            const FileTypeDescriber& types);
    // The loaded verdict, else a quick one from the path rules alone, with the
    // program's own paths as found once.
    static PathSafety verdict(const FileItem& file, const std::optional<FileDetails>& details,
                              const std::string& home, const std::vector<std::string>& ownPaths);
    static bool canOfferForTrash(const FileItem& file, const PathSafety& verdict);

    void reveal();
    void copyPath();
    void moveToTrash();

    QToolButton* trashButton() const { return trash_; }
    // Hidden when there is nothing to say.
    QWidget* safetyBadge() const { return badge_; }
    QString safetyBadgeText() const;
    QWidget* missingNotice() const { return missing_; }

private:
    void load();
    void refresh();

    AppModel& model_;
    FileItem file_;
    std::optional<FileDetails> details_;
    Loader loader_;
    LatestLoad* load_;
    std::string home_;
    std::vector<std::string> ownPaths_;
    // The grid's rows, made as needed and reused; rows beyond the facts are hidden.
    std::vector<std::pair<QLabel*, WrappingText*>> factRows_;

    QLabel* icon_;
    WrappingText* name_;
    QLabel* kind_;
    QGridLayout* grid_;
    QWidget* missing_;
    QToolButton* trash_;
    QWidget* badge_;
    QLabel* badgeIcon_;
    QLabel* badgeText_;
};
