// The main form's tray icon, tray menu and its services, and notifications.
#include "app/Services.h"
#include "app/ui/About.h"
#include "app/ui/MainForm.h"
#include "platform/Version.h"
#include "platform/ui/TrayIcon.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QStyle>
#include <QTabWidget>
#include <QUrl>

namespace {

constexpr int kTipLength = 127;
constexpr int kBalloonTitleLength = 63;
constexpr int kBalloonTextLength = 255;
// Separators carry the tag that the interface translator passes over.
constexpr int kSeparatorTag = -100;

// The first `length` characters, never splitting a character of two UTF-16 units.
QString Cut(const QString& text, int length) {
    if (text.size() <= length)
        return text;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

} // namespace

void TfmMain::CreateTrayMenu() {
    trayMenu = new QMenu(this);
    trayMenu->setObjectName(QStringLiteral("trayMenu"));
    // The desktop's icon where its theme has one, else one that comes with the toolkit.
    auto icon = [this](const char* themeName, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(QString::fromLatin1(themeName), style()->standardIcon(fallback));
    };
    auto add = [this](QMenu* menu, const char* name, const char* caption, const QIcon& image) {
        QAction* action = menu->addAction(image, QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto separator = [this] { trayMenu->addSeparator()->setProperty("tag", kSeparatorTag); };

    miRestore = add(trayMenu, "miRestore", "Restore", TrayIconImage(TTrayIconKind::Normal));
    separator();
    Settings1 = add(trayMenu, "Settings1", "General Settings", icon("preferences-system", QStyle::SP_ComputerIcon));
    BalanceAlerts1 = add(trayMenu, "BalanceAlerts1", "Balance Alerts Settings",
                         icon("preferences-desktop-notification", QStyle::SP_MessageBoxInformation));
    miCurrrencyRates = add(trayMenu, "miCurrrencyRates", "Currency Rates Settings",
                           icon("view-financial-list", QStyle::SP_FileDialogListView));
    separator();
    miViewLog = add(trayMenu, "miViewLog", "View Log File", icon("text-x-generic", QStyle::SP_FileIcon));
    miHelp = add(trayMenu, "miHelp", "Help && Support", icon("help-contents", QStyle::SP_DialogHelpButton));
    AboutProgram1 = add(trayMenu, "AboutProgram1", "About Program", icon("help-about", QStyle::SP_MessageBoxQuestion));
    miCheckNewVersion = add(trayMenu, "miCheckNewVersion", "Check for Program Updates",
                            icon("system-software-update", QStyle::SP_BrowserReload));
    separator();
    // The check mark is the item's image.
    miBalanceListWindow = add(trayMenu, "miBalanceListWindow", "Balance List Window", QIcon());
    miBalanceListWindow->setCheckable(true);
    auto* windows = new QMenu(trayMenu);
    windows->setTitle(QStringLiteral("Currency Rates Windows"));
    windows->setIcon(icon("view-list-details", QStyle::SP_FileDialogDetailedView));
    miCurrencyRatesWindows = windows->menuAction();
    miCurrencyRatesWindows->setObjectName(QStringLiteral("miCurrencyRatesWindows"));
    trayMenu->addAction(miCurrencyRatesWindows);
    miEmpty = add(windows, "miEmpty", "(empty)", QIcon());
    miEmpty->setEnabled(false);
    separator();
    Close1 = add(trayMenu, "Close1", "Exit Program", icon("application-exit", QStyle::SP_DialogCloseButton));

    connect(trayMenu, &QMenu::aboutToShow, this, &TfmMain::trayMenuPopup);
    connect(miRestore, &QAction::triggered, this, &TfmMain::miRestoreClick);
    connect(Settings1, &QAction::triggered, this, &TfmMain::Settings1Click);
    connect(BalanceAlerts1, &QAction::triggered, this, &TfmMain::BalanceAlerts1Click);
    connect(miCurrrencyRates, &QAction::triggered, this, &TfmMain::miCurrrencyRatesClick);
    connect(miViewLog, &QAction::triggered, this, &TfmMain::miViewLogClick);
    connect(miHelp, &QAction::triggered, this, &TfmMain::miHelpClick);
    connect(AboutProgram1, &QAction::triggered, this, &TfmMain::AboutProgram1Click);
    connect(miCheckNewVersion, &QAction::triggered, this, &TfmMain::miCheckNewVersionClick);
    // Choosing the item has already moved its check mark.
    connect(miBalanceListWindow, &QAction::triggered, this, [this](bool checked) {
        Settings.BalanceWindowVisible = checked;
        SaveSettings();
        SetBalanceListVisible(checked);
    });
    connect(Close1, &QAction::triggered, this, &TfmMain::Close1Click);
}

void TfmMain::DetectShellCapabilities() {
    m_trayIcon = std::make_unique<TTrayIcon>();
    m_trayIcon->SetContextMenu(trayMenu);
    ITrayNotifierHost& host = *this;
    m_notifier = std::make_unique<TTrayNotifier>(Settings, Log, host);
    m_notifier->BalloonCapable = m_trayIcon->BalloonCapable();
    connect(m_trayIcon.get(), &TTrayIcon::Activated, this, &TfmMain::TrayIconActivated);
    connect(m_trayIcon.get(), &TTrayIcon::TrayHostAppeared, this, &TfmMain::TrayHostAppeared);
}

bool TfmMain::BalloonCapable() const {
    return m_notifier != nullptr && m_notifier->BalloonCapable;
}

void TfmMain::AddTrayIcon() {
    // Once the shutdown has begun nothing puts the icon up again (a blink still ticking, say).
    if (m_trayIconAdded || m_trayIcon == nullptr || m_destroyed)
        return;
    Log.WriteLog(LoadStr(1056));
    m_trayIcon->SetIcon(m_notifier != nullptr ? m_notifier->RestIcon() : TTrayIconKind::Normal);
    m_trayIcon->SetToolTip(Cut(windowTitle(), kTipLength));
    // A tray host that dropped the icon takes it only when it is handed over anew.
    m_trayIcon->Show(true);
    Log.WriteLog(LoadStr(1057));
    // Also when no tray host took it: one that starts later gets it then.
    m_trayIconAdded = true;
}

void TfmMain::RemoveTrayIcon() {
    if (!m_trayIconAdded)
        return;
    Log.WriteLog(LoadStr(1058));
    m_trayIcon->Hide();
    m_trayIconAdded = false;
    Log.WriteLog(LoadStr(1059));
}

void TfmMain::SetTrayIcon(TTrayIconKind icon, const QString& tip) {
    AddTrayIcon();
    if (!m_trayIconAdded)
        return;
    m_trayIcon->SetIcon(icon);
    if (!tip.isEmpty())
        m_trayIcon->SetToolTip(Cut(tip, kTipLength));
}

void TfmMain::TrayHostAppeared() {
    // Only while the icon belongs on the desktop: not before start-up put it there, nor after
    // shutdown took it away.
    if (!m_trayIconAdded || m_destroyed)
        return;
    m_trayIconAdded = false;
    AddTrayIcon();
}

void TfmMain::ShowTrayIconKind(TTrayIconKind icon) {
    SetTrayIcon(icon, QString());
}

void TfmMain::ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) {
    if (m_notifier != nullptr)
        m_notifier->ShowBalloon(title, text, timeoutMs);
}

void TfmMain::ShowBalloonMessage(const std::string& title, const std::string& text, int timeoutMs) {
    AddTrayIcon();
    if (!m_trayIconAdded)
        return;
    m_trayIcon->ShowMessage(Cut(QString::fromStdString(title), kBalloonTitleLength),
                            Cut(QString::fromStdString(text), kBalloonTextLength), timeoutMs);
}

void TfmMain::ShowCriticalMessage(const std::string& title, const std::string& text) {
    AddTrayIcon();
    if (!m_trayIconAdded)
        return;
    m_trayIcon->ShowMessage(Cut(QString::fromStdString(title), kBalloonTitleLength),
                            Cut(QString::fromStdString(text), kBalloonTextLength), 0, true);
}

void TfmMain::StartBlink(bool grew) {
    if (m_notifier != nullptr)
        m_notifier->StartBlink(grew);
}

void TfmMain::NotifyBalanceChanged(TAlertItem& alert) {
    if (m_destroyed || m_notifier == nullptr)
        return;
    m_notifier->NotifyBalanceChanged(alert);
}

void TfmMain::NotifyBalanceUnavailable(TAlertItem& alert) {
    if (m_destroyed || m_notifier == nullptr)
        return;
    m_notifier->NotifyBalanceUnavailable(alert);
}

void TfmMain::NotifyLimits(TAlertItem& alert, const TLimitVerdict& verdict, const std::string& reason) {
    if (m_destroyed || m_notifier == nullptr)
        return;
    m_notifier->NotifyLimits(alert, verdict, reason);
}

bool TfmMain::BalanceListShown() const {
    return m_balanceListWindow && m_balanceListWindow->isVisible();
}

void TfmMain::BringUpBalanceList() {
    miBalanceListWindow->setChecked(true);
    SetBalanceListVisible(true);
}

void TfmMain::SetBalanceListWindow(QWidget* window) {
    m_balanceListWindow = window;
}

void TfmMain::SetBalanceListVisible(bool visible) {
    if (!m_balanceListWindow)
        return;
    // Shown on top, without taking the keyboard from what the user is doing.
    m_balanceListWindow->setVisible(visible);
    if (visible)
        m_balanceListWindow->raise();
    // The list shows the warned rows: the tray need not point at them any longer.
    if (visible && m_notifier != nullptr)
        m_notifier->SetWarningMark(false);
}

void TfmMain::miBalanceListWindowClick() {
    miBalanceListWindow->trigger();
}

void TfmMain::BalanceListClosed() {
    Settings.BalanceWindowVisible = false;
    SaveSettings();
    miBalanceListWindow->setChecked(false);
}

void TfmMain::TrayIconActivated() {
    // The net effect: the window shows, and that it does is saved.
    miBalanceListWindow->setChecked(false);
    miBalanceListWindowClick();
}

void TfmMain::trayMenuPopup() {
    miViewLog->setEnabled(QFileInfo::exists(QString::fromStdString(Settings.DataPath + "log.txt")));
}

void TfmMain::miRestoreClick() {
    ShowSettingsWindow();
}

void TfmMain::Settings1Click() {
    pcMain->setCurrentWidget(tsGeneral);
    ShowSettingsWindow();
}

void TfmMain::BalanceAlerts1Click() {
    pcMain->setCurrentWidget(tsBalanceAlerts);
    ShowSettingsWindow();
}

void TfmMain::miCurrrencyRatesClick() {
    pcMain->setCurrentWidget(tsCurrencyRates);
    ShowSettingsWindow();
}

void TfmMain::Close1Click() {
    // The settings window goes at once, on the display too: the shutdown may wait some seconds
    // for running checks and rates updates, and a window that stays meanwhile looks as if the
    // program ignored the user.
    HideSettingsWindow();
    QGuiApplication::sync();
    // The program ends as the event loop does; the form's destruction runs the shutdown. Not
    // quit(): that first asks the windows to close, which the settings window refuses.
    QCoreApplication::exit(0);
}

void TfmMain::miViewLogClick() {
    const std::string path = PrepareLogForViewing(Log, Settings.DataPath);
    if (!path.empty())
        ShellOpen(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void TfmMain::miHelpClick() {
    ShellOpen(QUrl(QString::fromStdString(HelpLink("faq.php"))));
}

void TfmMain::miCheckNewVersionClick() {
    ShellOpen(QUrl(QString::fromStdString(CheckVersionLink(GetFileVersionString(4, false, std::string())))));
}

void TfmMain::AboutProgram1Click() {
    if (isVisible()) {
        TfmAbout about(this);
        RunModal(about);
        return;
    }
    // Without the settings window the dialog lives on its own and goes away when closed; the
    // form still owns it should the program end first.
    if (m_about) {
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    m_about = new TfmAbout(this);
    m_about->setWindowFlag(Qt::Window);
    m_about->setAttribute(Qt::WA_DeleteOnClose);
    m_about->show();
}
