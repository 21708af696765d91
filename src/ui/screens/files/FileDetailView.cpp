#include "ui/screens/files/FileDetailView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/FileDetailsLoader.h"
#include "analysis/FileItemPath.h"
#include "analysis/FileTypeName.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "platform/DesktopServices.h"
#include "platform/SystemPaths.h"
#include "platform/qt/MimeTypeDescriber.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/CommonText.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/FileContextMenu.h"
#include "ui/components/LocaleText.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/WrappingText.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMimeDatabase>
#include <QPalette>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString dash = QStringLiteral("\u2014");

QString dateText(const std::optional<double>& date, const QString& unavailable)
{
    return date ? LocaleText::longDate(*date) : unavailable;
}

// A file system without birth times reports 0; the index keeps no such date either.
std::optional<double> knownDate(const std::optional<double>& date)
{
    return date && *date > 0 ? date : std::nullopt;
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

// A symbol and a line of text in one colour, as the badge and the missing-file notice show them.
QWidget* symbolLine(const char* objectName, QLabel*& icon, QLabel*& text, QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setObjectName(QString::fromLatin1(objectName));
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    icon = new QLabel(line);
    icon->setFixedSize(14, 14);
    text = new QLabel(line);
    text->setWordWrap(true);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    return line;
}

void tint(QLabel* icon, QLabel* text, const char* symbol, const QColor& color)
{
    icon->setPixmap(SymbolIcons::pixmap(symbol, 14, color, icon->devicePixelRatioF()));
    applyTextColor(text, color);
}

// The icon of the file's kind, from its name alone: the panel opens without touching the disk.
QPixmap kindIcon(const QString& name, qreal ratio)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        return SymbolIcons::pixmap("doc", 48, textColor(TextEmphasis::secondary), ratio);
    return icon.pixmap(QSize(48, 48), ratio);
}

} // namespace

FileDetailView::FileDetailView(AppModel& model, FileItem file, QWidget* parent, Loader loader)
    : QScrollArea(parent), model_(model), file_(std::move(file)), loader_(std::move(loader)),
      load_(new LatestLoad(this)), home_(SystemPaths::homeDirectory()), ownPaths_(SecurityUtils::appOwnedPaths())
{
    if (!loader_)
        loader_ = [](const std::string& path) { return FileDetailsLoader::load(path, MimeTypeDescriber()); };

    // As wide as the panel's column, never wider.
    QVBoxLayout* column = makeScrollPage(this, PageWidth::follows, 14);
    QWidget* content = widget();

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    icon_ = new QLabel(content);
    icon_->setFixedSize(48, 48);
    icon_->setAlignment(Qt::AlignCenter);
    header->addWidget(icon_, 0, Qt::AlignVCenter);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    // Names and paths hold long runs without a space: they wrap inside a word too.
    name_ = new WrappingText(content);
    name_->setObjectName(QStringLiteral("nameLabel"));
    applyTextStyle(name_, TextStyle::headline, QFont::DemiBold);
    kind_ = new QLabel(content);
    kind_->setObjectName(QStringLiteral("kindLabel"));
    kind_->setWordWrap(true);
    applyTextStyle(kind_, TextStyle::caption);
    applyTextColor(kind_, textColor(TextEmphasis::secondary));
    titles->addWidget(name_);
    titles->addWidget(kind_);
    header->addLayout(titles, 1);
    column->addLayout(header);

    column->addWidget(divider(content));

    grid_ = new QGridLayout;
    grid_->setHorizontalSpacing(10);
    grid_->setVerticalSpacing(8);
    grid_->setColumnStretch(1, 1);
    column->addLayout(grid_);

    QLabel* missingIcon = nullptr;
    QLabel* missingText = nullptr;
    missing_ = symbolLine("missingNotice", missingIcon, missingText, content);
    missingText->setText(QStringLiteral("This file no longer exists. Run a scan to update."));
    tint(missingIcon, missingText, "questionmark.folder", NamedColor::orange);
    column->addWidget(missing_);

    column->addWidget(divider(content));

    auto* actions = new QVBoxLayout;
    actions->setSpacing(8);
    auto* revealButton = linkButton(CommonText::revealAction(), "folder", content);
    revealButton->setObjectName(QStringLiteral("revealButton"));
    auto* copyButton = linkButton(QStringLiteral("Copy Path"), "doc.on.doc", content);
    copyButton->setObjectName(QStringLiteral("copyPathButton"));
    trash_ = linkButton(QStringLiteral("Move to Trash\u2026"), "trash", content, NamedColor::red);
    trash_->setObjectName(QStringLiteral("trashButton"));
    badge_ = symbolLine("safetyBadge", badgeIcon_, badgeText_, content);
    applyTextStyle(badgeText_, TextStyle::caption);
    for (QWidget* widget : std::initializer_list<QWidget*>{revealButton, copyButton, trash_})
        actions->addWidget(widget, 0, Qt::AlignLeft);
    // The full width, so that a long reason wraps instead of being squeezed.
    actions->addWidget(badge_);
    column->addLayout(actions);
    column->addStretch(1);

    connect(revealButton, &QToolButton::clicked, this, &FileDetailView::reveal);
    connect(copyButton, &QToolButton::clicked, this, &FileDetailView::copyPath);
    connect(trash_, &QToolButton::clicked, this, &FileDetailView::moveToTrash);

    refresh();
    load();
}

void FileDetailView::setFile(FileItem file)
{
    const bool sameFile = file.id == file_.id && pathOf(file) == pathOf(file_);
    file_ = std::move(file);
    if (!sameFile) {
        details_.reset();
        load();
    }
    refresh();
}

bool FileDetailView::isLoading() const
{
    return load_->isBusy();
}

void FileDetailView::load()
{
    // A newer start drops the answer of the older one, so facts of another file never show.
    load_->start([loader = loader_, path = pathOf(file_)] { return loader(path); },
                 [this](FileDetails details) {
                     details_ = std::move(details);
                     refresh();
                 });
}

std::vector<FileDetailView::Fact> FileDetailView::facts(const FileItem& file, const std::optional<FileDetails>& details,
                                                        const std::string& home)
{
    std::vector<Fact> rows;
    rows.push_back({QStringLiteral("Size"), qstr(ByteFormatter::string(file.allocatedSize)) + QStringLiteral(" on disk")});

    const std::int64_t logical = details && details->logicalSize ? *details->logicalSize : file.size;
    rows.push_back({QStringLiteral("Logical size"), qstr(ByteFormatter::string(logical)) + QStringLiteral(" (") +
                                                        LocaleText::integer(logical) + QStringLiteral(" bytes)")});

    rows.push_back({QStringLiteral("Type"), details && details->typeIdentifier ? qstr(*details->typeIdentifier)
                                                                               : qstr(FileTypeName::of(file))});
    rows.push_back({QStringLiteral("Category"), qstr(displayName(file.category))});

    const auto date = [&](std::optional<double> FileDetails::*field, const std::optional<double>& indexed) {
        if (details)
            if (const std::optional<double> loaded = knownDate((*details).*field))
                return loaded;
        return knownDate(indexed);
    };
    rows.push_back({QStringLiteral("Created"), dateText(date(&FileDetails::created, file.created), dash)});
    rows.push_back({QStringLiteral("Modified"), dateText(date(&FileDetails::modified, file.modified), dash)});
    rows.push_back({QStringLiteral("Last opened"),
                    dateText(date(&FileDetails::accessed, file.accessed), QStringLiteral("Not available"))});
    rows.push_back({QStringLiteral("Location"), qstr(abbreviatingHome(file.folderPath, home))});
    rows.push_back({QStringLiteral("Permissions"),
                    details && details->posixPermissions ? qstr(*details->posixPermissions) : dash});

    QStringList owner;
    if (details && details->owner)
        owner << qstr(*details->owner);
    if (details && details->group)
        owner << qstr(*details->group);
    rows.push_back({QStringLiteral("Owner"), owner.isEmpty() ? dash : owner.join(QStringLiteral(" / "))});

    rows.push_back({QStringLiteral("Hidden"),
                    yesNo(details ? details->isHidden : file.flags.contains(FileItem::Flags::hidden))});
    const bool symlink = details ? details->isSymlink : file.flags.contains(FileItem::Flags::symlink);
    QString link = QStringLiteral("No");
    if (symlink)
        link = QStringLiteral("Yes \u2192 ") +
               (details && details->symlinkDestination ? qstr(*details->symlinkDestination) : QStringLiteral("?"));
    rows.push_back({QStringLiteral("Symbolic link"), link});
    if (file.flags.contains(FileItem::Flags::hardLink))
        rows.push_back({QStringLiteral("Hard link"),
                        QStringLiteral("Yes \u2014 shares storage with another path; counted once in totals")});
    return rows;
}

QString FileDetailView::kindText(const FileItem& file, const std::optional<FileDetails>& details,
                                 const FileTypeDescriber& types)
{
    if (details && details->typeDescription)
        return qstr(*details->typeDescription);
    return qstr(FileDetailsLoader::typeDescription(FileTypeName::typeExtension(file.name, file.fileExtension), types));
}

PathSafety FileDetailView::verdict(const FileItem& file, const std::optional<FileDetails>& details,
                                   const std::string& home, const std::vector<std::string>& ownPaths)
{
    if (details)
        return details->safety;
    return SecurityUtils::evaluate(pathOf(file), home, ownPaths, false);
}

bool FileDetailView::canOfferForTrash(const FileItem& file, const PathSafety& verdict)
{
    // A repaired name anywhere on the path is not the real one: the path may name a sibling.
    return !verdict.isProtected() && !file.flags.contains(FileItem::Flags::invalidName) &&
           !SecurityUtils::hasRepairedName(pathOf(file));
}

void FileDetailView::reveal()
{
    FinderActions::reveal({pathOf(file_)}, model_.desktop());
}

void FileDetailView::copyPath()
{
    model_.desktop().copyText(pathOf(file_));
}

void FileDetailView::moveToTrash()
{
    if (!canOfferForTrash(file_, verdict(file_, details_, home_, ownPaths_)))
        return;
    model_.requestTrash({FileContextMenu::trashCandidate(file_)});
}

QString FileDetailView::safetyBadgeText() const
{
    return badge_->isHidden() ? QString() : badgeText_->text();
}

void FileDetailView::refresh()
{
    icon_->setPixmap(kindIcon(qstr(file_.name), devicePixelRatioF()));
    name_->setText(qstr(file_.name));
    kind_->setText(kindText(file_, details_, MimeTypeDescriber()));

    const std::vector<Fact> shown = facts(file_, details_, home_);
    while (factRows_.size() < shown.size()) {
        const int row = static_cast<int>(factRows_.size());
        auto* label = new QLabel(widget());
        applyTextColor(label, textColor(TextEmphasis::secondary));
        auto* value = new WrappingText(widget());
        grid_->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignTop);
        grid_->addWidget(value, row, 1, Qt::AlignTop);
        factRows_.emplace_back(label, value);
    }
    // A value the user is selecting text in keeps its selection when its text stays.
    for (std::size_t i = 0; i < factRows_.size(); ++i) {
        auto [label, value] = factRows_[i];
        const bool used = i < shown.size();
        if (used) {
            if (label->text() != shown[i].label)
                label->setText(shown[i].label);
            if (value->text() != shown[i].value)
                value->setText(shown[i].value);
        }
        label->setVisible(used);
        value->setVisible(used);
    }

    missing_->setVisible(details_ && !details_->exists);

    const PathSafety safety = verdict(file_, details_, home_, ownPaths_);
    trash_->setEnabled(canOfferForTrash(file_, safety));
    badge_->setVisible(!safety.isAllowed());
    badgeText_->setText(qstr(safety.reason()));
    if (safety.isCaution())
        tint(badgeIcon_, badgeText_, "exclamationmark.triangle", NamedColor::orange);
    else if (safety.isProtected())
        tint(badgeIcon_, badgeText_, "lock.shield", textColor(TextEmphasis::secondary));
}
