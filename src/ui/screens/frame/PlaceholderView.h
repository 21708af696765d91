#pragma once

#include <QWidget>

#include <string_view>

// Stands in the detail column for a screen that is not part of the program yet:
// its title, and nothing that would pretend to work.
class PlaceholderView : public QWidget {
    Q_OBJECT

public:
    explicit PlaceholderView(std::string_view title, QWidget* parent = nullptr);
};
