#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ElidedLabel;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QShortcut;

// Where the folder tree is focused: "All Locations", one link per folder on the way
// to the focus, the focus itself, and "Up". It changes nothing itself: every click
// reports a folder path, or none for the top level. Its links are kept and given
// new names as the path changes; the ones a shorter path does not need are hidden.
// Where the way is too long for the width, its first folders give way to "…".
class BreadcrumbBar : public QWidget {
    Q_OBJECT

public:
    using OnSelect = std::function<void(std::optional<std::string>)>;

    // `shortcutScope` is the widget within which Ctrl+Up goes up; the bar itself
    // when none is given.
    explicit BreadcrumbBar(OnSelect onSelect, QWidget* shortcutScope = nullptr, QWidget* parent = nullptr);

    const std::optional<std::string>& path() const { return path_; }
    void setPath(std::optional<std::string> path);

    // The path's non-empty pieces between slashes, in order.
    static std::vector<std::string> segments(std::string_view path);
    // "/" followed by segments 0...index joined with "/".
    static std::string prefixPath(const std::vector<std::string>& segments, std::size_t index);
    // Where "Up" goes from `path`: its parent folder, or none when that is "/".
    static std::optional<std::string> upTarget(std::string_view path);

    void goUp();
    QShortcut* upShortcut() const { return upShortcut_; }
    // The folders on the way that give way to "…" at the present width.
    std::size_t hiddenSegments() const { return hidden_; }

    // With every folder on the way but the focus given way to "…".
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void fit();
    void showSegments(std::size_t hidden);
    void select(std::size_t segment);

    OnSelect onSelect_;
    std::optional<std::string> path_;
    QHBoxLayout* row_;
    QHBoxLayout* segments_;
    QShortcut* upShortcut_;
    QPushButton* all_;
    QPushButton* up_;
    QLabel* ellipsisChevron_;
    QLabel* ellipsis_;
    QLabel* currentChevron_;
    ElidedLabel* current_;
    std::size_t linked_ = 0;
    std::size_t hidden_ = 0;
    // A chevron and a link for each segment but the last.
    std::vector<QLabel*> chevrons_;
    std::vector<QPushButton*> links_;
};
