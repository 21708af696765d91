#include "ui/components/KeyedWidgetList.h"

#include "ui/support/UiTestSupport.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// A row of two widgets, as a finding and the divider above it.
struct Pair {
    QLabel* divider = nullptr;
    QLabel* text = nullptr;
};

TEST(KeyedWidgetList, KeptKeysKeepTheirWidgetsInTheNewOrderAfterTheFixedOnes)
{
    ensureApplication();
    QWidget page;
    auto* column = new QVBoxLayout(&page);
    auto* heading = new QLabel(QStringLiteral("heading"));
    column->addWidget(heading);
    KeyedWidgetList<Pair, std::string> list(column, 1, [](const Pair& row) {
        return std::vector<QWidget*>{row.divider, row.text};
    });
    std::map<std::string, int> made;
    const auto make = [&](const std::string& key) {
        ++made[key];
        return Pair{.divider = new QLabel(QStringLiteral("-")), .text = new QLabel(QString::fromStdString(key))};
    };
    const auto shown = [&] {
        std::vector<std::string> texts;
        for (int i = 0; i < column->count(); ++i)
            texts.push_back(qobject_cast<QLabel*>(column->itemAt(i)->widget())->text().toStdString());
        return texts;
    };
    page.show();

    const struct {
        std::vector<std::string> keys;
        std::vector<std::string> layout;
    } steps[] = {
        {{"a", "b", "c"}, {"heading", "-", "a", "-", "b", "-", "c"}},
        {{"c", "a"}, {"heading", "-", "c", "-", "a"}},           // b goes, the others swap
        {{"d", "c", "e", "a"}, {"heading", "-", "d", "-", "c", "-", "e", "-", "a"}},
        {{}, {"heading"}},
    };
    QPointer<QLabel> a;
    QPointer<QLabel> b;
    for (const auto& step : steps) {
        list.replace(step.keys, make);
        EXPECT_EQ(shown(), step.layout);
        EXPECT_EQ(list.keys(), step.keys);
        ASSERT_EQ(list.rows().size(), step.keys.size());
        for (std::size_t i = 0; i < step.keys.size(); ++i) {
            EXPECT_EQ(list.rows()[i].text->text().toStdString(), step.keys[i]);
            // The row of a kept key is the same widget, however it moves.
            QPointer<QLabel>& first = step.keys[i] == "a" ? a : b;
            if (step.keys[i] == "a" || step.keys[i] == "b") {
                if (!first)
                    first = list.rows()[i].text;
                EXPECT_EQ(list.rows()[i].text, first.data());
            }
        }
    }
    for (const auto& [key, count] : made)
        EXPECT_EQ(count, 1) << key;
    // A row that went is hidden at once and deleted once the event that led here is over.
    ASSERT_FALSE(b.isNull());
    EXPECT_FALSE(b->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(b.isNull());
    EXPECT_TRUE(a.isNull());
}

TEST(KeyedWidgetList, RowsOfOneWidgetNeedNoListOfTheirWidgets)
{
    ensureApplication();
    QWidget page;
    auto* column = new QVBoxLayout(&page);
    KeyedWidgetList<QLabel*, int> list(column);
    const auto make = [](int key) { return new QLabel(QString::number(key)); };
    list.replace({1, 2}, make);
    QLabel* two = list.rows()[1];
    list.replace({2, 3}, make);
    EXPECT_EQ(list.rows()[0], two);
    EXPECT_EQ(column->indexOf(two), 0);
    EXPECT_EQ(column->count(), 2);
}

} // namespace
