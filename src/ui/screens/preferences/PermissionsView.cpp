#include "ui/screens/preferences/PermissionsView.h"

#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/PermissionManager.h"
#include "app/QtText.h"
#include "platform/Accounts.h"
#include "platform/DesktopServices.h"
#include "platform/SystemPaths.h"
#include "ui/components/PrivacyNotice.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/PermissionHelpSheet.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include <unistd.h>

namespace {

constexpr int symbolSide = 16;

QLabel* wrapping(const QString& text, TextStyle style, TextEmphasis emphasis)
{
    QLabel* label = styledLabel(text, style, emphasis);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    // The layout gives a wrapping label the height its real width needs.
    label->setMinimumHeight(1);
    return label;
}

void setSymbol(QLabel* label, const PermissionsView::Presentation& presentation)
{
    label->setPixmap(SymbolIcons::pixmap(presentation.symbol, symbolSide, presentation.color,
                                         label->devicePixelRatioF()));
}

// The requirement's label on a small quaternary capsule.
QLabel* requirementTag(ProtectedLocation::Requirement requirement)
{
    auto* tag = new QLabel(qstr(std::string(rawValue(requirement))));
    tag->setObjectName(QStringLiteral("requirement"));
    applyTextStyle(tag, TextStyle::caption2);
    const int height = QFontMetrics(tag->font()).height() + 2;
    tag->setFixedHeight(height);
    tag->setStyleSheet(QStringLiteral("QLabel { background: %1; border-radius: %2px; padding: 0px 5px; }")
                           .arg(textColor(TextEmphasis::quaternary).name(QColor::HexArgb))
                           .arg(height / 2));
    return tag;
}

} // namespace

PermissionsView::PermissionsView(AppModel& model, QWidget* parent)
    : PermissionsView(model, StorageSandbox::detect(), std::make_unique<AccessProbe>(), parent)
{
}

PermissionsView::PermissionsView(AppModel& model, StorageSandbox sandbox, std::unique_ptr<AccessProbe> probe,
                                 QWidget* parent)
    : QWidget(parent), model_(model), sandbox_(std::move(sandbox)), probe_(std::move(probe)),
      home_(SystemPaths::homeDirectory()), locations_(PermissionManager::locations(home_))
{
    for (const ProtectedLocation& location :
         PermissionManager::desktopLocations(home_, Accounts::userName(::getuid()).value_or("")))
        nativePaths_.insert(location.path);
    setObjectName(QStringLiteral("permissionsView"));
    setWindowTitle(QStringLiteral("Storage Access"));

    auto* scroll = new QScrollArea(this);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QVBoxLayout* column = makeScrollPage(scroll);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    column->addWidget(makeScreenTitle(QStringLiteral("Storage Access")));

    // The access card.
    auto* access = new QWidget;
    auto* accessLayout = new QVBoxLayout(access);
    accessLayout->setContentsMargins(0, 0, 0, 0);
    accessLayout->setSpacing(10);
    auto* stateLine = new QHBoxLayout;
    stateLine->setSpacing(8);
    fullDiskAccessSymbol_ = new QLabel(access);
    fullDiskAccessSymbol_->setObjectName(QStringLiteral("fullDiskAccessSymbol"));
    fullDiskAccessText_ = new QLabel(access);
    fullDiskAccessText_->setObjectName(QStringLiteral("fullDiskAccessText"));
    fullDiskAccessText_->setWordWrap(true);
    applyTextStyle(fullDiskAccessText_, TextStyle::body, QFont::Medium);
    stateLine->addWidget(fullDiskAccessSymbol_, 0, Qt::AlignVCenter);
    stateLine->addWidget(fullDiskAccessText_, 1, Qt::AlignVCenter);
    accessLayout->addLayout(stateLine);
    accessLayout->addWidget(wrapping(
        QStringLiteral("Kestrelmoor measures every folder your account can read and shows the rest as "
                       "\u201CAccess Restricted\u201D. It never tries to get around the system's file permissions."),
        TextStyle::callout, TextEmphasis::secondary));

    auto* buttons = new QHBoxLayout;
    checkButton_ = new QPushButton(QStringLiteral("Check Access"), access);
    checkButton_->setObjectName(QStringLiteral("checkButton"));
    checkButton_->setDefault(true);
    QPalette prominent = checkButton_->palette();
    prominent.setColor(QPalette::Button, accentColor());
    prominent.setColor(QPalette::ButtonText, Qt::white);
    checkButton_->setPalette(prominent);
    connect(checkButton_, &QPushButton::clicked, this, &PermissionsView::check);
    buttons->addWidget(checkButton_);
    auto* help = new QPushButton(QStringLiteral("How to Grant Access\u2026"), access);
    help->setObjectName(QStringLiteral("helpButton"));
    help->setFlat(true);
    help->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, &PermissionsView::showHelp);
    buttons->addWidget(help);
    buttons->addStretch(1);
    accessLayout->addLayout(buttons);

    // Inside a sandbox no setting of this program widens it; the user runs the command.
    if (sandbox_.kind != StorageSandbox::Kind::none && !sandbox_.widenCommand.empty()) {
        accessLayout->addWidget(wrapping(QStringLiteral("Kestrelmoor runs in a sandbox that hides most folders from "
                                                        "it. This command lets it read them:"),
                                         TextStyle::callout, TextEmphasis::secondary));
        auto* commandLine = new QHBoxLayout;
        auto* command = new QLabel(qstr(sandbox_.widenCommand), access);
        command->setObjectName(QStringLiteral("widenCommand"));
        command->setFont(monospacedFont(TextStyle::callout));
        command->setWordWrap(true);
        command->setTextInteractionFlags(Qt::TextSelectableByMouse);
        commandLine->addWidget(command, 1);
        auto* copy = new QPushButton(QStringLiteral("Copy Command"), access);
        copy->setObjectName(QStringLiteral("copyCommand"));
        copy->setAutoDefault(false);
        connect(copy, &QPushButton::clicked, this, [this] { model_.desktop().copyText(sandbox_.widenCommand); });
        commandLine->addWidget(copy, 0, Qt::AlignTop);
        accessLayout->addLayout(commandLine);
    }
    accessLayout->addWidget(wrapping(QStringLiteral("Checking only opens each place to see whether your account can "
                                                    "read it."),
                                     TextStyle::caption, TextEmphasis::tertiary));

    // A settings pane this system cannot open gets no button that would do nothing.
    QPushButton* openSettings = nullptr;
    if (PermissionManager::canOpenSettingsURL(PermissionManager::fullDiskAccessSettingsURL)) {
        openSettings = new QPushButton(QStringLiteral("Open System Settings"));
        openSettings->setObjectName(QStringLiteral("openSettings"));
        openSettings->setFlat(true);
        connect(openSettings, &QPushButton::clicked, this, [] {
            PermissionManager::openSettingsURL(PermissionManager::fullDiskAccessSettingsURL,
                                               [](const QUrl& url) { QDesktopServices::openUrl(url); });
        });
    }
    column->addWidget(new SectionCard(QStringLiteral("Storage Access"), QStringLiteral("lock.shield"), access,
                                      openSettings));

    // The places.
    auto* places = new QWidget;
    placesLayout_ = new QVBoxLayout(places);
    placesLayout_->setContentsMargins(0, 0, 0, 0);
    placesLayout_->setSpacing(0);
    for (const ProtectedLocation& location : locations_) {
        auto* row = new QWidget(places);
        row->setObjectName(QStringLiteral("locationRow"));
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 3, 0, 3);
        rowLayout->setSpacing(10);
        auto* symbol = new QLabel(row);
        symbol->setFixedWidth(20);
        symbol->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        rowLayout->addWidget(symbol, 0, Qt::AlignTop);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* heading = new QHBoxLayout;
        auto* name = new QLabel(qstr(location.name), row);
        applyTextStyle(name, TextStyle::body, QFont::Medium);
        heading->addWidget(name);
        heading->addWidget(requirementTag(location.requirement));
        heading->addStretch(1);
        texts->addLayout(heading);
        auto* path = new QLabel(qstr(abbreviatingHome(location.path, home_)), row);
        path->setObjectName(QStringLiteral("path"));
        path->setFont(monospacedFont(TextStyle::caption));
        applyTextColor(path, textColor(TextEmphasis::secondary));
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(path);
        texts->addWidget(wrapping(qstr(location.explanation), TextStyle::caption, TextEmphasis::secondary));
        rowLayout->addLayout(texts, 1);

        auto* status = new QLabel(row);
        status->setObjectName(QStringLiteral("status"));
        applyTextStyle(status, TextStyle::caption);
        rowLayout->addWidget(status, 0, Qt::AlignTop);
        placesLayout_->addWidget(row);
        rows_.push_back(row);
        rowSymbols_.push_back(symbol);
        rowStatuses_.push_back(status);
    }
    column->addWidget(new SectionCard(QStringLiteral("Locations"), QStringLiteral("folder.badge.questionmark"),
                                      places));
    column->addWidget(new PrivacyNotice(false));
    column->addStretch(1);
    if (const auto& last = model_.lastAccessCheck()) {
        statuses_ = last->statuses;
        fullDiskAccess_ = last->fullDiskAccess;
        checked_ = true;
    }
    refresh();
}

PermissionsView::~PermissionsView() = default;

PermissionsView::Presentation PermissionsView::fullDiskAccessPresentation(std::optional<bool> fullDiskAccess)
{
    if (!fullDiskAccess)
        return {"exclamationmark.triangle.fill", NamedColor::orange,
                QStringLiteral("Full Disk Access status hasn't been checked.")};
    if (*fullDiskAccess)
        return {"checkmark.seal.fill", NamedColor::green, QStringLiteral("Full Disk Access is enabled.")};
    return {"exclamationmark.triangle.fill", NamedColor::orange,
            QStringLiteral("Full Disk Access is off. Some folders can't be measured.")};
}

PermissionsView::Terms PermissionsView::termsFor(const StorageSandbox& sandbox)
{
    if (PermissionManager::canOpenSettingsURL(PermissionManager::fullDiskAccessSettingsURL))
        return Terms::fullDiskAccess;
    return sandbox.kind == StorageSandbox::Kind::none ? Terms::account : Terms::sandbox;
}

PermissionsView::Presentation PermissionsView::accessPresentation(Terms terms, std::optional<bool> access,
                                                                  bool checked)
{
    if (terms == Terms::fullDiskAccess)
        return fullDiskAccessPresentation(access);
    if (!checked)
        return {"exclamationmark.triangle.fill", NamedColor::orange,
                QStringLiteral("Storage access hasn't been checked.")};
    if (!access)
        return {"exclamationmark.triangle.fill", NamedColor::orange,
                QStringLiteral("Your home folder wasn't found, so access couldn't be judged.")};
    if (*access)
        return {"checkmark.seal.fill", NamedColor::green,
                QStringLiteral("Kestrelmoor can read your home folder and every folder your account may open.")};
    if (terms == Terms::sandbox)
        return {"exclamationmark.triangle.fill", NamedColor::orange,
                QStringLiteral("Kestrelmoor runs in a sandbox and can't read most of your folders.")};
    return {"exclamationmark.triangle.fill", NamedColor::orange,
            QStringLiteral("Kestrelmoor can't read your home folder. Some folders can't be measured.")};
}

std::vector<std::size_t> PermissionsView::shownOrder(const std::vector<ProtectedLocation>& locations,
                                                     const std::map<std::string, AccessStatus>& statuses,
                                                     const std::set<std::string>& native)
{
    const auto rank = [&](std::size_t index) {
        const auto found = statuses.find(locations[index].path);
        const AccessStatus status = found == statuses.end() ? AccessStatus::notChecked : found->second;
        const int presence = status == AccessStatus::notFound ? 2 : status == AccessStatus::notChecked ? 1 : 0;
        return std::pair{presence, native.contains(locations[index].path) ? 0 : 1};
    };
    std::vector<std::size_t> order(locations.size());
    for (std::size_t index = 0; index < order.size(); ++index)
        order[index] = index;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return rank(a) < rank(b); });
    return order;
}

std::vector<std::string> PermissionsView::shownPaths() const
{
    std::vector<std::string> paths;
    for (std::size_t index : shownOrder_)
        paths.push_back(locations_[index].path);
    return paths;
}

void PermissionsView::placeRows()
{
    std::vector<std::size_t> order = shownOrder(locations_, statuses_, nativePaths_);
    if (order == shownOrder_)
        return;
    shownOrder_ = std::move(order);
    // The same rows, moved: nothing is rebuilt.
    for (std::size_t position = 0; position < shownOrder_.size(); ++position) {
        QWidget* row = rows_[shownOrder_[position]];
        placesLayout_->removeWidget(row);
        placesLayout_->insertWidget(static_cast<int>(position), row);
    }
}

PermissionsView::Presentation PermissionsView::statusPresentation(AccessStatus status)
{
    switch (status) {
    case AccessStatus::granted: return {"checkmark.circle.fill", NamedColor::green, QStringLiteral("Accessible")};
    case AccessStatus::denied:
        return {"exclamationmark.triangle.fill", NamedColor::orange, QStringLiteral("Access Restricted")};
    case AccessStatus::notFound:
        return {"minus.circle", textColor(TextEmphasis::secondary), QStringLiteral("Not present")};
    case AccessStatus::notChecked: break;
    }
    return {"questionmark.circle", textColor(TextEmphasis::secondary), QStringLiteral("Not checked")};
}

AccessStatus PermissionsView::status(const std::string& path) const
{
    const auto found = statuses_.find(path);
    return found == statuses_.end() ? AccessStatus::notChecked : found->second;
}

bool PermissionsView::isChecking() const
{
    return probe_->isRunning();
}

void PermissionsView::check()
{
    std::vector<std::string> paths;
    for (const auto& location : locations_)
        paths.push_back(location.path);
    // The probe answers on the main thread, and goes away with the screen.
    const bool started =
        probe_->start(std::move(paths), home_, [this](const AccessProbe::Result& result) { apply(result); });
    // One check at a time: a hung mount must not pile up blocked threads.
    if (started) checkButton_->setEnabled(false);
}

void PermissionsView::apply(const AccessProbe::Result& result)
{
    model_.setLastAccessCheck(result);
    statuses_ = result.statuses;
    fullDiskAccess_ = result.fullDiskAccess;
    checked_ = true;
    checkButton_->setEnabled(true);
    refresh();
}

void PermissionsView::showHelp()
{
    if (helpSheet_) return;
    helpSheet_ = new PermissionHelpSheet(this);
    helpSheet_->setAttribute(Qt::WA_DeleteOnClose);
    helpSheet_->open();
}

void PermissionsView::refresh()
{
    const Presentation line = accessPresentation(termsFor(sandbox_), fullDiskAccess_, checked_);
    setSymbol(fullDiskAccessSymbol_, line);
    fullDiskAccessText_->setText(line.text);
    checkButton_->setText(checked_ ? QStringLiteral("Check Again") : QStringLiteral("Check Access"));
    for (std::size_t index = 0; index < locations_.size(); ++index) {
        const AccessStatus found = status(locations_[index].path);
        const Presentation presentation = statusPresentation(found);
        setSymbol(rowSymbols_[index], presentation);
        rowStatuses_[index]->setText(presentation.text);
        applyTextColor(rowStatuses_[index], presentation.color);
        // A place of macOS shows only where a check found it: elsewhere its words are another system's.
        rows_[index]->setVisible(nativePaths_.contains(locations_[index].path) || found == AccessStatus::granted ||
                                 found == AccessStatus::denied);
    }
    placeRows();
}
