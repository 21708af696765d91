#pragma once

#include "app/AccessProbe.h"
#include "app/ProtectedLocation.h"
#include "app/StorageSandbox.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class AppModel;
class PermissionHelpSheet;
class QLabel;
class QPushButton;

// Which guarded places the program can read, checked only when the user asks.
// The check runs on the probe's own thread, one at a time; its answer is dropped
// when the screen is gone.
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
    static Presentation fullDiskAccessPresentation(std::optional<bool> fullDiskAccess);
    static Presentation statusPresentation(AccessStatus status);

    const std::vector<ProtectedLocation>& locations() const { return locations_; }
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
    std::vector<QLabel*> rowSymbols_;
    std::vector<QLabel*> rowStatuses_;
    QPointer<PermissionHelpSheet> helpSheet_;
};
