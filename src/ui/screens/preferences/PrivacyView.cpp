#include "ui/screens/preferences/PrivacyView.h"

#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/QtText.h"
#include "index/StorageDatabase.h"
#include "scanning/FinderActions.h"
#include "ui/components/CardFrame.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/AdaptiveGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

struct Promise {
    const char* symbol;
    QColor tint;
    const char* title;
    const char* text;
};

// One promise: its symbol beside a heading and a wrapping text, on a card at least
// minimumPointHeight high.
QWidget* privacyPoint(const Promise& promise, qreal pixelRatio)
{
    auto* card = new CardFrame;
    card->setObjectName(QStringLiteral("privacyPoint"));
    card->setMinimumHeight(PrivacyView::minimumPointHeight);
    auto* row = new QHBoxLayout(card);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    auto* symbol = new QLabel(card);
    const int side = QFontMetrics(textStyleFont(TextStyle::title2)).height();
    symbol->setPixmap(SymbolIcons::pixmap(promise.symbol, side, promise.tint, pixelRatio));
    symbol->setFixedWidth(30);
    symbol->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    row->addWidget(symbol, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* title = new QLabel(QString::fromUtf8(promise.title), card);
    applyTextStyle(title, TextStyle::headline, QFont::DemiBold);
    // A narrow cell wraps the heading rather than cutting it.
    title->setWordWrap(true);
    title->setMinimumHeight(1);
    texts->addWidget(title);
    auto* text = new QLabel(QString::fromUtf8(promise.text), card);
    text->setWordWrap(true);
    // A wrapping label's own minimum is its height at a narrow width, which would make
    // every card that tall; the layout gives it the height its real width needs.
    text->setMinimumHeight(1);
    applyTextStyle(text, TextStyle::callout);
    applyTextColor(text, textColor(TextEmphasis::secondary));
    texts->addWidget(text);
    texts->addStretch(1);
    row->addLayout(texts, 1);
    return card;
}

} // namespace

PrivacyView::PrivacyView(AppModel& model, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("privacyView"));
    setWindowTitle(QStringLiteral("Privacy"));

    auto* scroll = new QScrollArea(this);
    QVBoxLayout* page = makeScrollPage(scroll);
    auto* content = new QWidget;
    // The page's insets count towards the content's width.
    content->setMaximumWidth(maximumContentWidth - page->contentsMargins().left() - page->contentsMargins().right());
    page->addWidget(content);
    page->addStretch(1);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    layout->addWidget(makeScreenTitle(QStringLiteral("Privacy"), content));

    auto* header = new QHBoxLayout;
    header->setSpacing(16);
    auto* shield = new QLabel(content);
    shield->setPixmap(SymbolIcons::pixmap("lock.shield.fill", 42, NamedColor::green, devicePixelRatioF()));
    header->addWidget(shield, 0, Qt::AlignVCenter);
    auto* headings = new QVBoxLayout;
    headings->setSpacing(4);
    auto* title = new QLabel(QStringLiteral("Your data stays on this computer"), content);
    applyTextStyle(title, TextStyle::title, QFont::Bold);
    title->setWordWrap(true);
    headings->addWidget(title);
    auto* subtitle = new QLabel(QStringLiteral("Kestrelmoor works completely offline. No one — not even Quillfeather, "
                                               "the developer — can see, collect or share your files or your file "
                                               "information."),
                                content);
    subtitle->setWordWrap(true);
    applyTextStyle(subtitle, TextStyle::body);
    applyTextColor(subtitle, textColor(TextEmphasis::secondary));
    headings->addWidget(subtitle);
    header->addLayout(headings, 1);
    layout->addLayout(header);

    const Promise promises[] = {
        {"wifi.slash", NamedColor::blue, "Works offline",
         "Scanning, analysis, search, cleanup and CPU/RAM monitoring run entirely on your computer and never use the "
         "internet."},
        {"eye.slash", NamedColor::purple, "Nothing is uploaded",
         "File names, folders, paths, sizes, file contents, app lists and system information are never sent "
         "anywhere."},
        {"person.crop.circle.badge.xmark", NamedColor::orange, "No account, no tracking",
         "No sign-up, no analytics, no ads, no crash reporters and no third-party SDKs."},
        {"internaldrive", NamedColor::teal, "Stored only on your computer",
         "Scan results are kept in a local cache in your user data folder. You can delete it any time in Settings."},
        {"doc.text.magnifyingglass", NamedColor::green, "Read-only scanning",
         "Kestrelmoor reads sizes and dates only. It never opens your documents (except to compare possible "
         "duplicates, on your request) and never changes files during a scan."},
        {"trash.slash", NamedColor::red, "You stay in control",
         "Nothing is ever deleted automatically. Every removal asks you first and goes to the Trash, so you can undo "
         "it."},
    };
    points_ = new AdaptiveGrid(minimumPointWidth, 10, 12, Qt::Alignment(), content);
    for (const Promise& promise : promises)
        points_->addCell(privacyPoint(promise, devicePixelRatioF()));
    layout->addWidget(points_);

    auto* whereContent = new QWidget;
    auto* whereLayout = new QVBoxLayout(whereContent);
    whereLayout->setContentsMargins(0, 0, 0, 0);
    auto* cacheRow = new QHBoxLayout;
    cacheRow->addWidget(new QLabel(QStringLiteral("Scan cache"), whereContent));
    cacheRow->addStretch(1);
    auto* location = ElidedLabel::forPath(cacheLocation(model), whereContent);
    location->setObjectName(QStringLiteral("cacheLocation"));
    applyTextColor(location, textColor(TextEmphasis::secondary));
    cacheRow->addWidget(location);
    whereLayout->addLayout(cacheRow);
    auto* buttons = new QHBoxLayout;
    if (const auto& database = model.database()) {
        auto* show = new QPushButton(QStringLiteral("Show Cache in File Manager"), whereContent);
        show->setObjectName(QStringLiteral("showCache"));
        const std::string path = database->path();
        connect(show, &QPushButton::clicked, this, [&model, path] { FinderActions::reveal({path}, model.desktop()); });
        buttons->addWidget(show);
    }
    auto* deleteData = new QPushButton(QStringLiteral("Delete Scan Data…"), whereContent);
    deleteData->setObjectName(QStringLiteral("deleteScanData"));
    connect(deleteData, &QPushButton::clicked, this, [&model] { model.setSelection(SidebarItem::settings); });
    buttons->addWidget(deleteData);
    buttons->addStretch(1);
    whereLayout->addLayout(buttons);
    layout->addWidget(new SectionCard(QStringLiteral("Where your data is"), QStringLiteral("folder"), whereContent));
    layout->addStretch(1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}

QString PrivacyView::cacheLocation(const AppModel& model)
{
    const auto& database = model.database();
    return database ? qstr(abbreviatingHome(database->path())) : QStringLiteral("Not created");
}
