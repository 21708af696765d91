#include "ui/screens/files/BreadcrumbBar.h"

#include "app/QtText.h"
#include "platform/Paths.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>

namespace {

QPushButton* linkButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, accentColor());
    button->setPalette(palette);
    // A link, not a push button: no frame and no margin around the text.
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px 2px; }"));
    return button;
}

} // namespace

BreadcrumbBar::BreadcrumbBar(OnSelect onSelect, QWidget* shortcutScope, QWidget* parent)
    : QWidget(parent), onSelect_(std::move(onSelect)), row_(new QHBoxLayout(this))
{
    row_->setContentsMargins(16, 8, 16, 8);
    row_->setSpacing(4);
    // Only within the screen, so that Ctrl+Up elsewhere (and the tree's own arrow keys)
    // keep their meaning; off at the top level.
    upShortcut_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), shortcutScope ? shortcutScope : this);
    upShortcut_->setContext(Qt::WidgetWithChildrenShortcut);
    connect(upShortcut_, &QShortcut::activated, this, [this] { goUp(); });

    all_ = linkButton(QStringLiteral("All Locations"), this);
    all_->setObjectName(QStringLiteral("allLocations"));
    connect(all_, &QPushButton::clicked, this, [this] {
        if (onSelect_)
            onSelect_(std::nullopt);
    });
    row_->addWidget(all_);
    segments_ = new QHBoxLayout;
    segments_->setContentsMargins(0, 0, 0, 0);
    segments_->setSpacing(4);
    row_->addLayout(segments_);
    const auto chevron = [this] {
        auto* label = new QLabel(this);
        label->setPixmap(SymbolIcons::pixmap("chevron.right", QFontInfo(textStyleFont(TextStyle::caption2)).pixelSize(),
                                             textColor(TextEmphasis::tertiary), devicePixelRatioF()));
        return label;
    };
    ellipsisChevron_ = chevron();
    segments_->addWidget(ellipsisChevron_);
    ellipsis_ = new QLabel(QStringLiteral("\u2026"), this);
    ellipsis_->setObjectName(QStringLiteral("hiddenFolders"));
    segments_->addWidget(ellipsis_);
    currentChevron_ = chevron();
    segments_->addWidget(currentChevron_);
    current_ = new ElidedLabel(QString(), Qt::ElideMiddle, this);
    current_->setObjectName(QStringLiteral("currentFolder"));
    current_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    QFont font = current_->font();
    font.setWeight(QFont::DemiBold);
    current_->setFont(font);
    segments_->addWidget(current_, 1);
    row_->addStretch(1);
    up_ = new QPushButton(SymbolIcons::icon("arrow.up"), QStringLiteral("Up"), this);
    up_->setObjectName(QStringLiteral("upButton"));
    up_->setToolTip(QStringLiteral("Up (Ctrl+Up)"));
    connect(up_, &QPushButton::clicked, this, [this] { goUp(); });
    row_->addWidget(up_);
    refresh();
}

void BreadcrumbBar::setPath(std::optional<std::string> path)
{
    if (path == path_)
        return;
    path_ = std::move(path);
    refresh();
}

std::vector<std::string> BreadcrumbBar::segments(std::string_view path)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start)
            result.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return result;
}

std::string BreadcrumbBar::prefixPath(const std::vector<std::string>& segments, std::size_t index)
{
    std::string path;
    for (std::size_t i = 0; i <= index && i < segments.size(); ++i)
        path += "/" + segments[i];
    return path.empty() ? "/" : path;
}

std::optional<std::string> BreadcrumbBar::upTarget(std::string_view path)
{
    std::string parent = Paths::deletingLastComponent(path);
    if (parent == "/")
        return std::nullopt;
    return parent;
}

void BreadcrumbBar::goUp()
{
    if (path_ && onSelect_)
        onSelect_(upTarget(*path_));
}

void BreadcrumbBar::select(std::size_t segment)
{
    if (!path_ || !onSelect_)
        return;
    const std::vector<std::string> pieces = segments(*path_);
    if (segment + 1 < pieces.size())
        onSelect_(prefixPath(pieces, segment));
}

void BreadcrumbBar::refresh()
{
    upShortcut_->setEnabled(path_.has_value());
    up_->setVisible(path_.has_value());
    const std::vector<std::string> pieces = path_ ? segments(*path_) : std::vector<std::string>();
    linked_ = pieces.empty() ? 0 : pieces.size() - 1;
    // Each segment is a chevron and then a link, or the bold current folder for the last.
    while (links_.size() < linked_) {
        const std::size_t index = links_.size();
        auto* chevron = new QLabel(this);
        chevron->setPixmap(currentChevron_->pixmap());
        auto* link = linkButton(QString(), this);
        connect(link, &QPushButton::clicked, this, [this, index] { select(index); });
        segments_->insertWidget(segments_->indexOf(currentChevron_), chevron);
        segments_->insertWidget(segments_->indexOf(currentChevron_), link);
        chevrons_.push_back(chevron);
        links_.push_back(link);
    }
    // A folder name is shown as it is: "&" marks no shortcut here.
    for (std::size_t i = 0; i < linked_; ++i)
        links_[i]->setText(qstr(pieces[i]).replace(QLatin1Char('&'), QStringLiteral("&&")));
    currentChevron_->setVisible(!pieces.empty());
    current_->setVisible(!pieces.empty());
    current_->setText(pieces.empty() ? QString() : qstr(pieces.back()));
    fit();
}

void BreadcrumbBar::showSegments(std::size_t hidden)
{
    hidden_ = hidden;
    for (std::size_t i = 0; i < links_.size(); ++i) {
        const bool shown = i >= hidden_ && i < linked_;
        chevrons_[i]->setVisible(shown);
        links_[i]->setVisible(shown);
    }
    ellipsisChevron_->setVisible(hidden_ > 0);
    ellipsis_->setVisible(hidden_ > 0);
}

void BreadcrumbBar::fit()
{
    // The nearest folders matter most: the first ones give way until the rest fits.
    std::size_t hidden = 0;
    for (;; ++hidden) {
        showSegments(hidden);
        if (hidden >= linked_ || width() <= 0)
            break;
        segments_->invalidate();
        row_->invalidate();
        if (row_->sizeHint().width() <= width())
            break;
    }
}

QSize BreadcrumbBar::minimumSizeHint() const
{
    std::vector<int> widths{all_->sizeHint().width()};
    if (path_) {
        if (linked_ > 0) {
            widths.push_back(ellipsisChevron_->sizeHint().width());
            widths.push_back(ellipsis_->sizeHint().width());
        }
        widths.push_back(currentChevron_->sizeHint().width());
        widths.push_back(current_->minimumSizeHint().width());
        widths.push_back(up_->sizeHint().width());
    }
    const QMargins margins = row_->contentsMargins();
    int width = margins.left() + margins.right() + static_cast<int>(widths.size() - 1) * row_->spacing();
    for (int part : widths)
        width += part;
    return {width, row_->minimumSize().height()};
}

void BreadcrumbBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fit();
}
