#pragma once

#include "analysis/CleanupRecommendation.h"
#include "ui/components/KeyedWidgetList.h"

#include <QScrollArea>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class AppModel;
class CleanupRecommendationRow;
class EmptyStateView;
class LatestLoad;
class QLabel;
class QPushButton;
class QVBoxLayout;
class SectionCard;
class StorageDatabase;

// The cleanup recommendations of the home folder, one card per safety level. It measures
// again whenever the index data changes or the user asks; it removes nothing itself.
class CleanupView : public QScrollArea {
    Q_OBJECT

public:
    // The system's places (the package cache, the journal) are looked for under `systemRoot`.
    explicit CleanupView(AppModel& model, QWidget* parent = nullptr, std::string systemRoot = {});

    const std::vector<CleanupRecommendation>& recommendations() const { return recommendations_; }
    bool isLoading() const;
    // The rule being measured, as the progress line names it.
    const QString& current() const { return current_; }
    const std::optional<std::string>& copiedCommand() const { return copiedCommand_; }
    QPushButton* refreshButton() const { return refresh_; }
    std::vector<CleanupRecommendationRow*> rows() const;

    // Measures again; the answer of any earlier load still running is dropped.
    void load();

    static QString cardTitle(CleanupSafety safety);
    static const char* cardSymbol(CleanupSafety safety);
    // The recommendations of one level, in the order of the list.
    static std::vector<CleanupRecommendation> itemsOf(CleanupSafety safety,
                                                      const std::vector<CleanupRecommendation>& list);
    static std::int64_t totalBytes(const std::vector<CleanupRecommendation>& items);

    // One analysis; nothing when it was stopped before the end, since what a stopped
    // analyzer returns leaves out rules it never measured.
    static std::optional<std::vector<CleanupRecommendation>>
    analyze(const std::string& home, StorageDatabase* database, const std::string& systemRoot,
            const std::function<void(const std::string&)>& progress, std::stop_token stop);

signals:
    void recommendationsChanged();

private:
    // A finding's row and the divider above it, kept while the finding is listed.
    struct Entry {
        QWidget* divider = nullptr;
        CleanupRecommendationRow* row = nullptr;
    };
    // The card of one safety level, made once and shown while the level has findings.
    struct LevelCard {
        SectionCard* card = nullptr;
        QLabel* total = nullptr;
        // Keyed by the finding's shape.
        std::unique_ptr<KeyedWidgetList<Entry, std::string>> rows;
    };

    void showRecommendations();
    Entry makeEntry(const CleanupRecommendation& item, QWidget* parent);
    void refreshLoading();
    void setCopiedCommand(const std::string& command);

    AppModel& model_;
    std::string systemRoot_;
    std::vector<CleanupRecommendation> recommendations_;
    QString current_;
    std::optional<std::string> copiedCommand_;
    LatestLoad* load_;
    QPushButton* refresh_ = nullptr;
    QWidget* progressLine_ = nullptr;
    QLabel* progressText_ = nullptr;
    std::array<LevelCard, 3> levels_;
    EmptyStateView* empty_ = nullptr;
};
