#include "ui/screens/frame/ContentView.h"

#include "app/AppModel.h"
#include "app/QtText.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/frame/DetailRouter.h"
#include "ui/screens/frame/ScanToolbar.h"
#include "ui/screens/frame/SidebarList.h"
#include "ui/screens/frame/SidebarScanStatus.h"
#include "ui/screens/frame/TrashConfirmationSheet.h"
#include "ui/screens/frame/WindowPlacement.h"
#include "ui/screens/preferences/WelcomeSheet.h"

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int itemRole = Qt::UserRole;

// Takes a presented dialog off screen without running its finish handler.
template <class Dialog>
void dismissQuietly(Dialog*& dialog, QObject* handlerOwner)
{
    if (!dialog)
        return;
    Dialog* closing = std::exchange(dialog, nullptr);
    closing->disconnect(handlerOwner);
    closing->close();
    closing->deleteLater();
}

} // namespace

const QString ContentView::frameKey = QStringLiteral("mainWindowFrame");
const QString ContentView::maximizedKey = QStringLiteral("mainWindowMaximized");

ContentView::ContentView(AppModel& model, QWidget* parent) : QMainWindow(parent), model_(model)
{
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(buildSidebar());

    detail_ = new QWidget(splitter_);
    detail_->setObjectName(QStringLiteral("detailColumn"));
    detailLayout_ = new QVBoxLayout(detail_);
    detailLayout_->setContentsMargins(0, 0, 0, 0);
    splitter_->addWidget(detail_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({200, 800});
    setCentralWidget(splitter_);

    buildToolbar();

    connect(&model_, &AppModel::selectionChanged, this, [this] {
        syncSidebarSelection();
        showSelectedScreen();
    });
    connect(&model_, &AppModel::searchTextChanged, this, [this] {
        const QString text = qstr(model_.searchText());
        if (search_->text() != text)
            search_->setText(text);
    });
    connect(&model_, &AppModel::trashRequestChanged, this, &ContentView::presentTrashRequest);
    connect(&model_, &AppModel::alertChanged, this, &ContentView::presentAlert);

    syncSidebarSelection();
    showSelectedScreen();
}

QWidget* ContentView::buildSidebar()
{
    auto* pane = new QWidget(this);
    pane->setObjectName(QStringLiteral("sidebarPane"));
    pane->setMinimumWidth(180);
    pane->setMaximumWidth(260);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    sidebar_ = new SidebarList(pane);
    sidebar_->setObjectName(QStringLiteral("sidebarList"));
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setIconSize(QSize(16, 16));
    sidebar_->setStyleSheet(QStringLiteral("QListWidget { padding: 4px 6px; } QListWidget::item { padding-left: 4px; }"));
    QFont headerFont = textStyleFont(TextStyle::subheadline, QFont::DemiBold);
    for (const SidebarSection& section : sidebarSections()) {
        QListWidgetItem* header = sidebar_->addHeading(qstr(section.title));
        header->setFont(headerFont);
        header->setForeground(textColor(TextEmphasis::secondary));
        header->setSizeHint(QSize(0, 26));
        for (SidebarItem item : section.items) {
            auto* row = new QListWidgetItem(SymbolIcons::icon(symbolName(item)), qstr(title(item)), sidebar_);
            row->setData(itemRole, static_cast<int>(item));
            row->setSizeHint(QSize(0, 26));
        }
    }
    connect(sidebar_, &QListWidget::itemSelectionChanged, this, &ContentView::sidebarSelectionEdited);
    layout->addWidget(sidebar_, 1);

    auto* divider = new QFrame(pane);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: palette(mid);"));
    layout->addWidget(divider);

    auto* footer = new QWidget(pane);
    footer->setObjectName(QStringLiteral("sidebarFooter"));
    footer->setAutoFillBackground(true);
    QPalette footerPalette = footer->palette();
    footerPalette.setColor(QPalette::Window, footerPalette.color(QPalette::Window).darker(104));
    footer->setPalette(footerPalette);
    auto* footerLayout = new QVBoxLayout(footer);
    footerLayout->setContentsMargins(10, 8, 10, 8);
    footerLayout->setSpacing(8);
    scanStatus_ = new SidebarScanStatus(model_, footer);
    scanStatus_->setObjectName(QStringLiteral("scanStatus"));
    footerLayout->addWidget(scanStatus_);
    layout->addWidget(footer);
    return pane;
}

void ContentView::buildToolbar()
{
    auto* toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("mainToolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    scanToolbar_ = new ScanToolbar(model_, toolbar);
    scanToolbar_->setObjectName(QStringLiteral("scanToolbar"));
    toolbar->addWidget(scanToolbar_);
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    search_ = new QLineEdit(toolbar);
    search_->setObjectName(QStringLiteral("searchField"));
    search_->setPlaceholderText(QStringLiteral("Search: *.zip, node_modules, size > 1 GB"));
    search_->setClearButtonEnabled(true);
    search_->addAction(SymbolIcons::icon("magnifyingglass", textColor(TextEmphasis::secondary)),
                       QLineEdit::LeadingPosition);
    search_->setFixedWidth(330);
    search_->setText(qstr(model_.searchText()));
    toolbar->addWidget(search_);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { model_.setSearchText(stdstr(text)); });
    connect(search_, &QLineEdit::returnPressed, this, [this] { model_.setSelection(SidebarItem::search); });

    // The desktop's Find key goes to the search field from anywhere in the window.
    auto* find = new QAction(QStringLiteral("Find"), this);
    find->setObjectName(QStringLiteral("findAction"));
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    addAction(find);
}

void ContentView::syncSidebarSelection()
{
    const QSignalBlocker blocker(sidebar_);
    const std::optional<SidebarItem> selection = model_.selection();
    sidebar_->clearSelection();
    if (!selection)
        return;
    for (int i = 0; i < sidebar_->count(); ++i) {
        QListWidgetItem* row = sidebar_->item(i);
        const QVariant data = row->data(itemRole);
        if (data.isValid() && data.toInt() == static_cast<int>(*selection)) {
            sidebar_->setCurrentItem(row);
            row->setSelected(true);
            break;
        }
    }
}

void ContentView::sidebarSelectionEdited()
{
    const QList<QListWidgetItem*> selected = sidebar_->selectedItems();
    if (selected.isEmpty()) {
        // The list never gives up its selection: whatever took it, the screen stays.
        syncSidebarSelection();
        return;
    }
    const QVariant data = selected.front()->data(itemRole);
    if (data.isValid())
        model_.setSelection(static_cast<SidebarItem>(data.toInt()));
}

void ContentView::showSelectedScreen()
{
    if (screen_) {
        // The change may come from inside the old screen; let it unwind first.
        screen_->hide();
        detailLayout_->removeWidget(screen_);
        screen_->deleteLater();
    }
    screen_ = DetailRouter::makeScreen(model_.selection().value_or(SidebarItem::dashboard), model_, detail_);
    detailLayout_->addWidget(screen_);
    screen_->show();
}

void ContentView::presentTrashRequest()
{
    const auto& request = model_.trashRequest();
    if (trashSheet_ && request && trashSheet_->request().id == request->id)
        return;
    dismissQuietly(trashSheet_, this);
    if (!request)
        return;
    trashSheet_ = new TrashConfirmationSheet(model_, *request, this);
    const std::string id = request->id;
    connect(trashSheet_, &QDialog::finished, this, [this, id] {
        // Cancel or Escape: the pending request ends unconfirmed.
        if (model_.trashRequest() && model_.trashRequest()->id == id)
            model_.setTrashRequest(std::nullopt);
        if (trashSheet_ && trashSheet_->request().id == id) {
            trashSheet_->deleteLater();
            trashSheet_ = nullptr;
        }
    });
    trashSheet_->open();
}

void ContentView::presentAlert()
{
    dismissQuietly(alertBox_, this);
    const auto& alert = model_.alert();
    if (!alert)
        return;
    alertBox_ = new QMessageBox(this);
    alertBox_->setObjectName(QStringLiteral("alertBox"));
    alertBox_->setWindowTitle(QStringLiteral("Kestrelmoor"));
    alertBox_->setWindowModality(Qt::WindowModal);
    alertBox_->setIcon(QMessageBox::Warning);
    alertBox_->setTextFormat(Qt::PlainText);
    alertBox_->setText(qstr(alert->title));
    alertBox_->setInformativeText(qstr(alert->message));
    if (!alert->details.empty())
        alertBox_->setDetailedText(qstr(alert->details));
    alertBox_->setStandardButtons(QMessageBox::Ok);
    // Room for a path and its reason on one line.
    alertBox_->setStyleSheet(QStringLiteral(
        "QLabel#qt_msgbox_label, QLabel#qt_msgbox_informativelabel { min-width: 360px; }"));
    if (auto* titleLabel = alertBox_->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = titleLabel->font();
        bold.setBold(true);
        titleLabel->setFont(bold);
    }
    const std::string id = alert->id;
    connect(alertBox_, &QDialog::finished, this, [this, id] {
        if (model_.alert() && model_.alert()->id == id)
            model_.setAlert(std::nullopt);
        if (alertBox_) {
            alertBox_->deleteLater();
            alertBox_ = nullptr;
        }
    });
    alertBox_->open();
}

void ContentView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    emit appeared();
    runFirstRunRule();
}

void ContentView::restorePlacement(QSize defaultSize)
{
    const UserDefaults& defaults = UserDefaults::standard();
    const QVariant stored = defaults.value(frameKey);
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens << screen->availableGeometry();
    const WindowPlacement placement = WindowPlacement::restored(
        stored.canConvert<QRect>() ? std::optional<QRect>(stored.toRect()) : std::nullopt, screens, minimumSize(),
        defaultSize);
    resize(placement.size);
    if (placement.position)
        move(*placement.position);
    normalFrame_ = QRect(placement.position.value_or(pos()), placement.size);
    if (defaults.boolValue(maximizedKey))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void ContentView::savePlacement() const
{
    UserDefaults& defaults = UserDefaults::standard();
    if (normalFrame_.isValid())
        defaults.setValue(frameKey, normalFrame_);
    defaults.setValue(maximizedKey, isMaximized());
    defaults.sync();
}

void ContentView::rememberNormalFrame()
{
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        normalFrame_ = QRect(pos(), size());
}

void ContentView::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    rememberNormalFrame();
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    rememberNormalFrame();
}

void ContentView::closeEvent(QCloseEvent* event)
{
    savePlacement();
    QMainWindow::closeEvent(event);
}

void ContentView::runFirstRunRule()
{
    UserDefaults& defaults = UserDefaults::standard();
    if (defaults.boolValue(SettingsKey::hasSeenWelcome))
        return;
    // Stored when first shown, so quitting with the sheet open does not bring it back.
    defaults.setValue(SettingsKey::hasSeenWelcome, true);
    defaults.sync();
    welcomeSheet_ = new WelcomeSheet(model_, this);
    connect(welcomeSheet_, &QDialog::finished, this, [this] {
        welcomeSheet_->deleteLater();
        welcomeSheet_ = nullptr;
    });
    // Opened once the window manager has placed the window, so that the sheet can sit
    // over it: when the window is first activated, or soon in any case.
    welcomePending_ = true;
    QTimer::singleShot(welcomeDelay, this, &ContentView::presentWelcome);
}

void ContentView::presentWelcome()
{
    if (!welcomePending_ || !welcomeSheet_)
        return;
    welcomePending_ = false;
    welcomeSheet_->adjustSize();
    welcomeSheet_->move(WindowPlacement::centredOver(frameGeometry(), welcomeSheet_->size()));
    welcomeSheet_->open();
}

void ContentView::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow())
        return;
    if (welcomePending_)
        QTimer::singleShot(0, this, &ContentView::presentWelcome);
    // A click on the window while one of its sheets is open gives the sheet its focus back.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this && modal->isVisible() && modal->parentWidget() && modal->parentWidget()->window() == this)
        QTimer::singleShot(0, modal, [modal] {
            modal->raise();
            modal->activateWindow();
        });
}
