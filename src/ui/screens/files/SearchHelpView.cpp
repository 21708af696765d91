#include "ui/screens/files/SearchHelpView.h"

#include "app/AppModel.h"
#include "ui/components/TextStyle.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

SearchHelpView::SearchHelpView(AppModel& model, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(12);

    auto* title = new QLabel(QStringLiteral("Search your computer"), this);
    applyTextStyle(title, TextStyle::title2, QFont::DemiBold);
    layout->addWidget(title);
    auto* intro = new QLabel(QStringLiteral("Type in the search field in the toolbar. Searches use the local index from "
                                            "your last scan, so they're instant and never touch the disk."),
                             this);
    intro->setWordWrap(true);
    applyTextColor(intro, textColor(TextEmphasis::secondary));
    layout->addWidget(intro);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    const QFont mono = monospacedFont(TextStyle::body);
    int row = 0;
    for (const Example& example : examples()) {
        auto* button = new QPushButton(QString::fromUtf8(example.query), this);
        button->setObjectName(QStringLiteral("example"));
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setFont(mono);
        button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; text-align: left; }"));
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, accentColor());
        button->setPalette(palette);
        const std::string query = example.query;
        connect(button, &QPushButton::clicked, this, [&model, query] { model.setSearchText(query); });
        auto* description = new QLabel(QString::fromUtf8(example.description), this);
        applyTextColor(description, textColor(TextEmphasis::secondary));
        grid->addWidget(button, row, 0, Qt::AlignLeft);
        grid->addWidget(description, row, 1, Qt::AlignLeft);
        ++row;
    }
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    layout->addStretch(1);
}

const std::vector<SearchHelpView::Example>& SearchHelpView::examples()
{
    static const std::vector<Example> list = {
        {"*.zip", "All ZIP archives"},
        {"node_modules", "Files and folders named like node_modules"},
        {"size > 1 GB", "Files larger than 1 GB"},
        {"modified > 1 year ago", "Not modified in the last year"},
        {"ext:mp4 size > 500MB", "Large videos"},
        {"in:Downloads *.iso", "Disk images in Downloads"},
        {"kind:folder .git", "Git folders"},
        {"app:Chrome", "Installed applications"},
    };
    return list;
}
