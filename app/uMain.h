// The main window: event log, server options, the Start/Stop and Exit menu,
// the Help menu and the tray icon. A thin view over TMainController, which
// holds the logic.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QIcon>
#include <QMainWindow>

#include "uMainController.h"

class QAction;
class QCloseEvent;
class QDialog;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSpinBox;
class QSystemTrayIcon;
class QTabWidget;
class TfAbout;

// The window's message boxes, folder chooser, modal dialogs and links, so
// that tests can answer them without a user.
struct TMainDialogs {
    std::function<void(QWidget* parent, const QString& message)> ShowError;
    std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                         const QString& start)>
        ChooseFolder;
    std::function<void(QDialog* dialog)> ShowModal;
    std::function<void(const std::string& url)> OpenLink;

    // Qt's message box, folder dialog and exec, and the desktop's opener.
    static TMainDialogs Standard();
};

class TfMain final : public QMainWindow, private IMainView {
public:
    explicit TfMain(TThreadSettMngr& settings, TMainDialogs dialogs = TMainDialogs::Standard());
    ~TfMain() override;

    TMainController& Controller() { return *FController; }
    bool Exiting() const { return FExiting; }

    // Handlers, named after the controls they belong to.
    void biStartClick();
    void biExitClick();
    void biCheckUpdateClick();
    void biSupportClick();
    void biReportBugClick();
    void biAboutClick();
    void txtDocRootPropertiesButtonClick();
    void txtLogsPathPropertiesButtonClick();
    void TrayIconDblClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    QWidget* BuildGeneralTab();
    QWidget* BuildDSPTab();
    void FieldsToOptions();
    void OptionsToFields();
    void AppendLogLines();

    // IMainView
    void ShowServerState(bool active, uint16_t port) override;
    void LogLinesPending() override;
    void ShowError(const std::string& message) override;
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& start) override;
    void OpenLink(const std::string& url) override;

    TMainDialogs FDialogs;
    bool FExiting = false;
    QLabel* barStatusImage = nullptr;
    QLabel* barStatusText = nullptr;
    QTabWidget* pgcMain = nullptr;
    QPlainTextEdit* txtEventLog = nullptr;
    QSpinBox* txtPort = nullptr;
    QLineEdit* txtDocRoot = nullptr;
    QLineEdit* txtLogsPath = nullptr;
    QDoubleSpinBox* txtTimeout = nullptr;
    QAction* biStart = nullptr;
    QAction* biExit = nullptr;
    QMenu* mnuTray = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    TfAbout* FAbout = nullptr;
    std::unique_ptr<TMainController> FController;
};

// The window and tray icon of the program, drawn from its SVG picture.
QIcon TervaloIcon();
