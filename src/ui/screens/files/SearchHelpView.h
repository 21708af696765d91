#pragma once

#include <QWidget>

#include <vector>

class AppModel;

// What the Search screen shows while the search text is empty: what searching does,
// and example queries that fill the toolbar's search field when clicked.
class SearchHelpView : public QWidget {
    Q_OBJECT

public:
    struct Example {
        const char* query;
        const char* description;
    };

    explicit SearchHelpView(AppModel& model, QWidget* parent = nullptr);

    static const std::vector<Example>& examples();
};
