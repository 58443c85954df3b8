#include "uMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "uAbout.h"
#include "uGlobals.h"

namespace {

constexpr char WindowCaption[] = "Tervalo 0.04";
constexpr char AppTitle[] = "Tervalo";
constexpr int MinWidth = 650;
constexpr int MinHeight = 350;
constexpr int DesignPort = 8080;
constexpr double MaxTimeout = 999999999999.0;
constexpr double TimeoutStep = 1000.0;
constexpr double StartTimeout = 10000.0;

constexpr char InactiveText[] = "Inactive";
constexpr char ActiveText[] = "Active";
constexpr char StartCaption[] = "&Start Server";
constexpr char StopCaption[] = "&Stop Server";

// The status and menu pictures, by their place in the window's image list.
enum TImageIndex { imgInactive = 0, imgActive = 1, imgStart = 2, imgStop = 3 };

// Drawn rather than loaded: four plain shapes need no files.
QPixmap StateImage(int index)
{
    constexpr int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case imgInactive:
        painter.setPen(QPen(QColor(110, 110, 110), 1));
        painter.setBrush(QColor(190, 190, 190));
        painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        break;
    case imgActive:
        painter.setPen(QPen(QColor(20, 110, 40), 1));
        painter.setBrush(QColor(60, 200, 90));
        painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        break;
    case imgStart: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 160, 70));
        const QPointF triangle[] = {{4, 2}, {14, 8}, {4, 14}};
        painter.drawPolygon(triangle, 3);
        break;
    }
    default:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 50, 50));
        painter.drawRect(QRectF(3, 3, 10, 10));
        break;
    }
    return pixmap;
}

// A line edit with its folder button beside it.
QWidget* FolderField(QLineEdit* edit, QToolButton* button)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    return row;
}

} // namespace

QIcon TervaloIcon()
{
    QSvgRenderer renderer(QStringLiteral(":/tervalo/tervalo.svg"));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TMainDialogs TMainDialogs::Standard()
{
    TMainDialogs dialogs;
    dialogs.ShowError = [](QWidget* parent, const QString& message) {
        QMessageBox::critical(parent, QString::fromLatin1(AppTitle), message);
    };
    dialogs.ChooseFolder = [](QWidget* parent, const QString& title,
                              const QString& start) -> std::optional<QString> {
        // Qt's own dialog has the edit box and checks that the folder exists.
        const QString folder = QFileDialog::getExistingDirectory(
            parent, title, start, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (folder.isEmpty())
            return std::nullopt;
        return folder;
    };
    dialogs.ShowModal = [](QDialog* dialog) { dialog->exec(); };
    dialogs.OpenLink = [](const std::string& url) { ShellOpen(url); };
    return dialogs;
}

TfMain::TfMain(TThreadSettMngr& settings, TMainDialogs dialogs) : FDialogs(std::move(dialogs))
{
    setWindowTitle(QString::fromLatin1(WindowCaption));
    setWindowIcon(TervaloIcon());
    setMinimumSize(MinWidth, MinHeight);
    BuildControls();
    BuildMenus();

    IMainView& view = *this;
    FController = std::make_unique<TMainController>(settings, view);
    // Lines logged while the controller was being built found no controller
    // to take them from.
    AppendLogLines();
    OptionsToFields();
    ShowServerState(false, 0);
    if (TrayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        TrayIcon->show();

    resize(MinWidth + 100, MinHeight + 150);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfMain::~TfMain()
{
    // The server goes first: its workers may still hand over log lines, and
    // they must find the window whole.
    FController.reset();
}

void TfMain::BuildControls()
{
    pgcMain = new QTabWidget(this);
    pgcMain->setObjectName("pgcMain");

    txtEventLog = new QPlainTextEdit;
    txtEventLog->setObjectName("txtEventLog");
    txtEventLog->setReadOnly(true);
    // Fixed-width so the timestamps line up; asked for by kind, since no
    // particular font can be counted on.
    txtEventLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* tabEventLog = new QWidget;
    tabEventLog->setObjectName("tabEventLog");
    auto* logLayout = new QVBoxLayout(tabEventLog);
    logLayout->addWidget(txtEventLog);
    pgcMain->addTab(tabEventLog, "Event Log");

    auto* pgcOptions = new QTabWidget;
    pgcOptions->setObjectName("pgcOptions");
    pgcOptions->addTab(BuildGeneralTab(), "General");
    pgcOptions->addTab(BuildDSPTab(), "DSP");
    auto* tabOptions = new QWidget;
    tabOptions->setObjectName("tabOptions");
    auto* optionsLayout = new QVBoxLayout(tabOptions);
    optionsLayout->addWidget(pgcOptions);
    pgcMain->addTab(tabOptions, "Options");

    setCentralWidget(pgcMain);

    barStatusImage = new QLabel;
    barStatusImage->setObjectName("barStatusImage");
    barStatusText = new QLabel;
    barStatusText->setObjectName("barStatusText");
    statusBar()->setObjectName("barStatus");
    statusBar()->addWidget(barStatusImage);
    statusBar()->addWidget(barStatusText, 1);
}

QWidget* TfMain::BuildGeneralTab()
{
    auto* tab = new QWidget;
    tab->setObjectName("tabOptGeneral");
    auto* form = new QFormLayout(tab);

    txtPort = new QSpinBox;
    txtPort->setObjectName("txtPort");
    txtPort->setRange(0, 65535);
    txtPort->setValue(DesignPort);
    txtPort->setMaximumWidth(120);
    form->addRow("Port", txtPort);

    txtDocRoot = new QLineEdit;
    txtDocRoot->setObjectName("txtDocRoot");
    auto* docRootButton = new QToolButton;
    docRootButton->setObjectName("txtDocRootButton");
    docRootButton->setText("...");
    connect(docRootButton, &QToolButton::clicked, this, &TfMain::txtDocRootPropertiesButtonClick);
    form->addRow("Public root folder", FolderField(txtDocRoot, docRootButton));

    txtLogsPath = new QLineEdit;
    txtLogsPath->setObjectName("txtLogsPath");
    auto* logsButton = new QToolButton;
    logsButton->setObjectName("txtLogsPathButton");
    logsButton->setText("...");
    connect(logsButton, &QToolButton::clicked, this, &TfMain::txtLogsPathPropertiesButtonClick);
    form->addRow("Logs folder", FolderField(txtLogsPath, logsButton));
    return tab;
}

QWidget* TfMain::BuildDSPTab()
{
    auto* tab = new QWidget;
    tab->setObjectName("tabOptDSP");
    auto* form = new QFormLayout(tab);
    // A double spin box because the field goes beyond what QSpinBox can hold.
    txtTimeout = new QDoubleSpinBox;
    txtTimeout->setObjectName("txtTimeout");
    txtTimeout->setDecimals(0);
    txtTimeout->setRange(0, MaxTimeout);
    txtTimeout->setSingleStep(TimeoutStep);
    txtTimeout->setValue(StartTimeout);
    txtTimeout->setMaximumWidth(200);
    form->addRow("Timeout (ms)", txtTimeout);
    return tab;
}

void TfMain::BuildMenus()
{
    biStart = new QAction(StartCaption, this);
    biStart->setObjectName("biStart");
    connect(biStart, &QAction::triggered, this, &TfMain::biStartClick);
    biExit = new QAction("&Exit", this);
    biExit->setObjectName("biExit");
    connect(biExit, &QAction::triggered, this, &TfMain::biExitClick);

    // A bar of buttons rather than a menu bar: a menu bar shows only the
    // picture of an item that has one, and Start needs its caption too.
    auto* bar = new QToolBar(this);
    bar->setObjectName("barMain");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    addToolBar(Qt::TopToolBarArea, bar);
    bar->addAction(biStart);
    bar->addAction(biExit);
    auto* biHelp = new QMenu("&Help", this);
    biHelp->setObjectName("biHelp");
    auto* helpButton = new QToolButton;
    helpButton->setObjectName("biHelpButton");
    helpButton->setText(biHelp->title());
    helpButton->setMenu(biHelp);
    helpButton->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(helpButton);
    biHelp->addAction("Tervalo &Help");
    QAction* biCheckUpdate = biHelp->addAction("&Check For Updates");
    biCheckUpdate->setObjectName("biCheckUpdate");
    connect(biCheckUpdate, &QAction::triggered, this, &TfMain::biCheckUpdateClick);
    QAction* biSupport = biHelp->addAction("&Support");
    biSupport->setObjectName("biSupport");
    connect(biSupport, &QAction::triggered, this, &TfMain::biSupportClick);
    QAction* biReportBug = biHelp->addAction("Report &Bug");
    biReportBug->setObjectName("biReportBug");
    connect(biReportBug, &QAction::triggered, this, &TfMain::biReportBugClick);
    QAction* biAbout = biHelp->addAction("&About");
    biAbout->setObjectName("biAbout");
    connect(biAbout, &QAction::triggered, this, &TfMain::biAboutClick);

    mnuTray = new QMenu(this);
    mnuTray->setObjectName("mnuTray");
    mnuTray->addAction(biStart);
    mnuTray->addAction(biExit);
    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon->setObjectName("TrayIcon");
    TrayIcon->setToolTip(AppTitle);
    TrayIcon->setContextMenu(mnuTray);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Trays that speak the StatusNotifierItem protocol report
                // only single clicks, so those show the window too.
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
                    TrayIconDblClick();
            });
}

void TfMain::FieldsToOptions()
{
    TMainOptions& options = FController->Options();
    options.Port = txtPort->value();
    options.DocRoot = txtDocRoot->text().toStdString();
    options.LogsPath = txtLogsPath->text().toStdString();
    options.Timeout = txtTimeout->value();
}

void TfMain::OptionsToFields()
{
    const TMainOptions& options = FController->Options();
    txtPort->setValue(options.Port);
    txtDocRoot->setText(QString::fromStdString(options.DocRoot));
    txtLogsPath->setText(QString::fromStdString(options.LogsPath));
}

void TfMain::biStartClick()
{
    // Texts typed but not yet committed by the spin boxes count too.
    txtPort->interpretText();
    txtTimeout->interpretText();
    FieldsToOptions();
    FController->StartClick();
}

void TfMain::biExitClick()
{
    FExiting = true;
    close();
    // Closing alone would not end the program while the tray icon or another
    // window keeps it alive.
    QCoreApplication::quit();
}

void TfMain::closeEvent(QCloseEvent* event)
{
    if (FExiting) {
        event->accept();
        return;
    }
    // Closing hides the window; the server keeps running and the tray icon
    // brings the window back. A desktop without a tray would leave no way
    // back to a hidden window, so there it is minimised instead.
    event->ignore();
    if (TrayIcon && TrayIcon->isVisible())
        hide();
    else
        showMinimized();
}

void TfMain::TrayIconDblClick()
{
    showNormal();
    raise();
    activateWindow();
}

void TfMain::biCheckUpdateClick()
{
    FController->CheckUpdateClick();
}

void TfMain::biSupportClick()
{
    FController->SupportClick();
}

void TfMain::biReportBugClick()
{
    FController->ReportBugClick();
}

void TfMain::biAboutClick()
{
    if (!FAbout)
        FAbout = new TfAbout(FDialogs.OpenLink, this);
    FDialogs.ShowModal(FAbout);
}

void TfMain::txtDocRootPropertiesButtonClick()
{
    FieldsToOptions();
    FController->DocRootButtonClick();
    OptionsToFields();
}

void TfMain::txtLogsPathPropertiesButtonClick()
{
    FieldsToOptions();
    FController->LogsPathButtonClick();
    OptionsToFields();
}

void TfMain::ShowServerState(bool active, uint16_t port)
{
    const int statusImage = active ? imgActive : imgInactive;
    barStatusImage->setPixmap(StateImage(statusImage));
    barStatusImage->setProperty("imageIndex", statusImage);
    barStatusText->setText(active ? ActiveText : InactiveText);
    const int startImage = active ? imgStop : imgStart;
    biStart->setIcon(QIcon(StateImage(startImage)));
    biStart->setProperty("imageIndex", startImage);
    biStart->setText(active ? StopCaption : StartCaption);
    if (TrayIcon && TrayIcon->isVisible())
        TrayIcon->showMessage(
            AppTitle, QString::fromStdString(TMainController::StateBalloonText(active, port)),
            QSystemTrayIcon::Information);
}

void TfMain::LogLinesPending()
{
    if (QThread::currentThread() == thread()) {
        AppendLogLines();
        return;
    }
    // Queued, never blocking: the worker returns at once, and the call is
    // dropped if the window is gone by the time the event loop gets to it.
    QMetaObject::invokeMethod(
        this, [this] { AppendLogLines(); }, Qt::QueuedConnection);
}

void TfMain::AppendLogLines()
{
    if (!FController)
        return;
    for (const std::string& line : FController->TakeLogLines())
        txtEventLog->appendPlainText(QString::fromStdString(line));
}

void TfMain::ShowError(const std::string& message)
{
    FDialogs.ShowError(this, QString::fromStdString(message));
}

std::optional<std::string> TfMain::ChooseFolder(const std::string& title, const std::string& start)
{
    const std::optional<QString> folder =
        FDialogs.ChooseFolder(this, QString::fromStdString(title), QString::fromStdString(start));
    if (!folder)
        return std::nullopt;
    return folder->toStdString();
}

void TfMain::OpenLink(const std::string& url)
{
    FDialogs.OpenLink(url);
}
