#include "ui/screens/files/BreadcrumbBar.h"

#include "app/QtText.h"
#include "platform/Paths.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

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
    rebuild();
}

void BreadcrumbBar::setPath(std::optional<std::string> path)
{
    if (path == path_)
        return;
    path_ = std::move(path);
    rebuild();
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

void BreadcrumbBar::rebuild()
{
    clearLayout(row_);
    upShortcut_->setEnabled(path_.has_value());

    auto* all = linkButton(QStringLiteral("All Locations"), this);
    all->setObjectName(QStringLiteral("allLocations"));
    connect(all, &QPushButton::clicked, this, [this] {
        if (onSelect_)
            onSelect_(std::nullopt);
    });
    row_->addWidget(all);
    if (!path_) {
        row_->addStretch(1);
        return;
    }

    const std::vector<std::string> pieces = segments(*path_);
    const int chevronSize = QFontInfo(textStyleFont(TextStyle::caption2)).pixelSize();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto* chevron = new QLabel(this);
        chevron->setPixmap(SymbolIcons::pixmap("chevron.right", chevronSize, textColor(TextEmphasis::tertiary),
                                               devicePixelRatioF()));
        row_->addWidget(chevron);
        if (i + 1 < pieces.size()) {
            // A folder name is shown as it is: "&" marks no shortcut here.
            auto* link = linkButton(qstr(pieces[i]).replace(QLatin1Char('&'), QStringLiteral("&&")), this);
            const std::string target = prefixPath(pieces, i);
            connect(link, &QPushButton::clicked, this, [this, target] {
                if (onSelect_)
                    onSelect_(target);
            });
            row_->addWidget(link);
        } else {
            auto* last = new QLabel(qstr(pieces[i]), this);
            last->setObjectName(QStringLiteral("currentFolder"));
            QFont font = last->font();
            font.setWeight(QFont::DemiBold);
            last->setFont(font);
            last->setTextFormat(Qt::PlainText);
            row_->addWidget(last);
        }
    }
    row_->addStretch(1);
    auto* up = new QPushButton(SymbolIcons::icon("arrow.up"), QStringLiteral("Up"), this);
    up->setObjectName(QStringLiteral("upButton"));
    up->setToolTip(QStringLiteral("Up (Ctrl+Up)"));
    connect(up, &QPushButton::clicked, this, [this] { goUp(); });
    row_->addWidget(up);
}
