// What the tests of the editor's Qt windows stand on: a temporary settings
// file and WMI fixture (through the environment, as an administrator sets
// them), the real host platform, the Qt UI port and the main window; and a
// script that answers the modal windows (message boxes, questions, dialogs)
// as they come up, each within a time limit.
#pragma once

#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/qt/qtui.h"
#include "editor/qt/twntcfgdialog.h"
#include "editor/twntcfgapp.h"
#include "platform/platform.h"

class QAbstractButton;
class QLineEdit;

namespace tw::testing {

// A machine WEB1 for the windows: processes, drives, services (the agent's
// one running), network interfaces, and a processor and an operating system
// for WMI tests and the class browser.
extern const char* kWindowsFixture;

// The agent's key in the settings file.
extern const char* kAgentKeyPath;

// Writes the settings into a registry file (created when missing).
void writeSettings(const std::string& path,
                   const std::vector<std::pair<std::string, std::string>>& settings);
// A setting's text in a registry file; nothing when it is missing.
std::optional<std::string> readSetting(const std::string& path, const std::string& name);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// Sets an environment variable for the rest of the test and restores it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QString& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    QByteArray name_;
    std::optional<QByteArray> old_;
};

// The editor on a temporary settings file (TWNT_REGISTRY), fixture
// (TWNT_WMI_FIXTURE) and TEMP, started as the program starts it; the main
// window shown application-modal, as the program runs it.
struct EditorUnderTest {
    explicit EditorUnderTest(const std::vector<std::pair<std::string, std::string>>& settings,
                             const std::string& fixture = kWindowsFixture,
                             const QString& registry = {});
    ~EditorUnderTest();

    QString path(const QString& name) const { return dir.filePath(name); }
    QWidget* widget(const std::string& name) const;
    QLineEdit* lineEdit(const std::string& name) const;
    QAbstractButton* button(const std::string& name) const;

    QTemporaryDir dir;
    std::string registryPath;
    std::unique_ptr<ScopedEnv> envRegistry, envFixture, envTemp, envTmp;
    std::unique_ptr<platform::HostPlatform> host;
    editor::qt::QtUi ui;
    std::unique_ptr<editor::CtwntcfgApp> app;
    std::unique_ptr<editor::CtwntcfgDlg> model;
    std::unique_ptr<editor::qt::TwntcfgDialog> window;
};

// A modal window as a test sees it.
struct SeenModal {
    QString title;
    QString text;  // a message's text (empty for other dialogs)
};

// The text of a message box (or of the long-text box).
QString messageText(QWidget* modal);

// Answers modal windows in order: each step waits for the modal window in
// front to carry its title and to be ready (shown, active, running its own
// event loop), then acts on it; a window a step acted on is never the next
// step's, so the next step waits for it to be gone. Steps may open further modal
// windows, which later steps answer. A step that does not come within the
// time limit fails the script and the modal windows are closed, so that a
// test never hangs.
class ModalScript {
  public:
    using Action = std::function<void(QWidget*)>;
    explicit ModalScript(int timeoutMs = 10000);
    ~ModalScript();

    // Adds a step.
    ModalScript& on(const QString& title, Action action);
    // A step that presses the named button of a message box or dialog.
    ModalScript& press(const QString& title, const QString& button);
    // Starts watching (call before the action that opens the first window).
    void start();

    bool done() const { return steps_.empty() && errors.isEmpty(); }
    // Keeps watching until the script ends: a window nobody answers (or
    // one that does not come) fails the script after the time limit.
    // Every modal window a step acted on, in order.
    std::vector<SeenModal> seen;
    QStringList errors;

  private:
    void poll();
    bool ready(QWidget* front) const;
    void closeAll();
    struct Step {
        QString title;
        Action action;
    };
    std::deque<Step> steps_;
    int timeoutMs_;
    qint64 deadline_ = 0;
    std::shared_ptr<bool> alive_;
    QList<QPointer<QWidget>> acted_;
    // The windows steps acted on, with the event loop level each ran.
    std::vector<std::pair<QPointer<QWidget>, int>> open_;
    int baseLevel_ = 0;
    bool failed_ = false;
};

// The controls of a window (labels, buttons, fields, lists, groups) whose
// object name is empty or differs from their accessible name, as
// "Class 'name'"; the insides of Qt's own compound widgets are left out.
QStringList unnamedControls(QWidget* root);

// Presses a button (by name) of a window through the mouse.
void click(QWidget* root, const QString& name);
// Replaces a line edit's text by typing it, as a person does.
void typeInto(QWidget* root, const QString& name, const QString& text);
// Answers a file dialog with a path in its file name field, as a person
// types it. (QFileDialog::selectFile leaves the field alone once the
// dialog is active, as a ready dialog is, and the dialog would then answer
// "File not found".) A window that is no file dialog fails the script.
void choosePath(QWidget* dialog, const QString& path);

}  // namespace tw::testing
