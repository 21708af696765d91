#pragma once

#include "app/AccessProbe.h"
#include "app/system/ProtectedLocation.h"
#include "app/system/StorageSandbox.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class AppModel;
class PermissionHelpSheet;
class QLabel;
class QPushButton;
class QVBoxLayout;

// Which guarded places the program can read, checked only when the user asks.
// The check runs on the probe's own thread, one at a time; its answer is dropped
// when the screen is gone. The last answer is kept by the model for the rest of the
// run, so the screen shows it again when it is opened again.
class PermissionsView : public QWidget {
    Q_OBJECT

public:
    explicit PermissionsView(AppModel& model, QWidget* parent = nullptr);
    // Tests give their own sandbox and probe.
    PermissionsView(AppModel& model, StorageSandbox sandbox, std::unique_ptr<AccessProbe> probe,
                    QWidget* parent = nullptr);
    ~PermissionsView() override;

    struct Presentation {
        const char* symbol;
        QColor color;
        QString text;
    };
    // What the access line speaks of: the macOS permission where its settings pane
    // exists, else what this account may read, or the sandbox the program runs in.
    enum class Terms { fullDiskAccess, account, sandbox };
    static Terms termsFor(const StorageSandbox& sandbox);
    static Presentation fullDiskAccessPresentation(std::optional<bool> fullDiskAccess);
    static Presentation accessPresentation(Terms terms, std::optional<bool> access, bool checked);
    static Presentation statusPresentation(AccessStatus status);
    // Positions into `locations` in the order shown: places found on this machine
    // first, then those not checked yet, then those not present; among equals this
    // system's own places (`native`) first, then the list's order.
    static std::vector<std::size_t> shownOrder(const std::vector<ProtectedLocation>& locations,
                                               const std::map<std::string, AccessStatus>& statuses,
                                               const std::set<std::string>& native);

    const std::vector<ProtectedLocation>& locations() const { return locations_; }
    // The paths of the rows, top to bottom.
    std::vector<std::string> shownPaths() const;
    AccessStatus status(const std::string& path) const;
    std::optional<bool> fullDiskAccess() const { return fullDiskAccess_; }
    bool isChecked() const { return checked_; }
    bool isChecking() const;
    PermissionHelpSheet* helpSheet() const { return helpSheet_; }

private:
    void check();
    void apply(const AccessProbe::Result& result);
    void showHelp();
    void refresh();
    void placeRows();

    AppModel& model_;
    StorageSandbox sandbox_;
    std::unique_ptr<AccessProbe> probe_;
    std::string home_;
    std::vector<ProtectedLocation> locations_;

    std::map<std::string, AccessStatus> statuses_;
    std::optional<bool> fullDiskAccess_;
    bool checked_ = false;

    QLabel* fullDiskAccessSymbol_ = nullptr;
    QLabel* fullDiskAccessText_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    std::set<std::string> nativePaths_;
    std::vector<QWidget*> rows_;
    std::vector<QLabel*> rowSymbols_;
    std::vector<QLabel*> rowStatuses_;
    std::vector<std::size_t> shownOrder_;
    QVBoxLayout* placesLayout_ = nullptr;
    QPointer<PermissionHelpSheet> helpSheet_;
};
