#include "ui/screens/preferences/WelcomeSheet.h"

#include "app/AppModel.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WelcomeSheet::WelcomeSheet(AppModel& model, QWidget* parent) : QDialog(parent), model_(model)
{
    setObjectName(QStringLiteral("welcomeSheet"));
    setWindowTitle(QStringLiteral("Welcome to Kestrelmoor"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(540);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(18);

    auto* icon = new QLabel(this);
    icon->setPixmap(SymbolIcons::applicationIcon().pixmap(88, 88));
    icon->setFixedSize(88, 88);
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    auto* title = new QLabel(QStringLiteral("Welcome to Kestrelmoor"), this);
    applyTextStyle(title, TextStyle::largeTitle, QFont::Bold);
    layout->addWidget(title, 0, Qt::AlignHCenter);

    auto* subtitle = new QLabel(QStringLiteral("See exactly what's using your computer's storage, memory and CPU."), this);
    subtitle->setWordWrap(true);
    subtitle->setAlignment(Qt::AlignHCenter);
    applyTextStyle(subtitle, TextStyle::title3);
    applyTextColor(subtitle, textColor(TextEmphasis::secondary));
    layout->addWidget(subtitle);

    auto* points = new QFrame(this);
    points->setObjectName(QStringLiteral("welcomePoints"));
    points->setStyleSheet(QStringLiteral("#welcomePoints { background: rgba(40, 167, 69, 20); border-radius: 12px; }"));
    auto* pointsLayout = new QVBoxLayout(points);
    pointsLayout->setContentsMargins(16, 16, 16, 16);
    pointsLayout->setSpacing(12);
    const std::pair<std::string_view, const char*> rows[] = {
        {"wifi.slash", "Works 100% offline — scanning never uses the internet."},
        {"lock.shield", "Your files and file information never leave this computer."},
        {"eye.slash", "The developer can't see or share your data. No account, no tracking."},
        {"trash.slash", "Nothing is deleted without asking you, and removals go to the Trash."},
    };
    for (const auto& [symbol, text] : rows) {
        auto* row = new QHBoxLayout();
        row->setSpacing(10);
        auto* glyph = new QLabel(points);
        glyph->setPixmap(SymbolIcons::pixmap(symbol, 18, NamedColor::green, devicePixelRatioF()));
        glyph->setFixedSize(20, 20);
        auto* label = new QLabel(QString::fromUtf8(text), points);
        label->setWordWrap(true);
        applyTextStyle(label, TextStyle::body);
        row->addWidget(glyph, 0, Qt::AlignTop);
        row->addWidget(label, 1);
        pointsLayout->addLayout(row);
    }
    layout->addWidget(points);

    auto* buttons = new QHBoxLayout();
    auto* privacy = new QPushButton(QStringLiteral("Read Privacy Details"), this);
    privacy->setObjectName(QStringLiteral("privacyButton"));
    privacy->setFlat(true);
    privacy->setAutoDefault(false);
    auto* start = new QPushButton(QStringLiteral("Get Started"), this);
    start->setObjectName(QStringLiteral("getStartedButton"));
    start->setAutoDefault(false);
    start->setDefault(true);
    QPalette prominent = start->palette();
    prominent.setColor(QPalette::Button, NamedColor::blue);
    prominent.setColor(QPalette::ButtonText, Qt::white);
    start->setPalette(prominent);
    buttons->addWidget(privacy);
    buttons->addStretch(1);
    buttons->addWidget(start);
    layout->addLayout(buttons);

    connect(privacy, &QPushButton::clicked, this, [this] {
        model_.setSelection(SidebarItem::privacy);
        accept();
    });
    connect(start, &QPushButton::clicked, this, &QDialog::accept);
}
