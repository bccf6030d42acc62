#include "test/qt/qt_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/posix/file_settings_store.h"

namespace tw::testing {

const char* kWindowsFixture = R"({
  "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
  "Win32_PerfRawData_PerfProc_Process": [
    {"Name": "svchost"}, {"Name": "_Total"}, {"Name": "Idle"}, {"Name": "sqlservr.exe"}
  ],
  "Win32_LogicalDisk": [
    {"Name": "C:", "DriveType": 3, "Description": "Local Fixed Disk"},
    {"Name": "D:", "DriveType": 5, "Description": "CD-ROM Disc"}
  ],
  "Win32_Service": [
    {"Name": "Spooler", "DisplayName": "Print Spooler", "Started": false},
    {"Name": "TallwatchClient", "DisplayName": "Tallwatch Professional Edition Client 5.01",
     "Started": true, "State": "Running"}
  ],
  "Win32_PerfRawData_Tcpip_NetworkInterface": [
    {"Name": "eth0", "CurrentBandwidth": "1000000000"}
  ],
  "Win32_Processor": [{"Name": "Xeon", "LoadPercentage": 17, "DeviceID": "CPU0"}],
  "Win32_OperatingSystem": [{"Caption": "Windows Server", "NumberOfProcesses": 61}]
})";

const char* kAgentKeyPath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";

void writeSettings(const std::string& path,
                   const std::vector<std::pair<std::string, std::string>>& settings) {
    auto store = platform::makeFileSettingsStore(path);
    for (const auto& [name, text] : settings)
        store->setValue(kAgentKeyPath + name, "", platform::RegValue::sz(text));
}

std::optional<std::string> readSetting(const std::string& path, const std::string& name) {
    auto store = platform::makeFileSettingsStore(path);
    auto v = store->getValue(kAgentKeyPath + name, "");
    if (!v) return std::nullopt;
    return v->data;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// ---- environment --------------------------------------------------------------------

ScopedEnv::ScopedEnv(const char* name, const QString& value) : name_(name) {
    if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
    qputenv(name, value.toUtf8());
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        qputenv(name_.constData(), *old_);
    else
        qunsetenv(name_.constData());
}

// ---- the editor -----------------------------------------------------------------------

EditorUnderTest::EditorUnderTest(const std::vector<std::pair<std::string, std::string>>& settings,
                                 const std::string& fixture, const QString& registry) {
    registryPath = editor::qt::ss(registry.isEmpty() ? path("registry.reg") : registry);
    if (!settings.empty()) writeSettings(registryPath, settings);
    writeFile(editor::qt::ss(path("fixture.json")), fixture);
    envRegistry = std::make_unique<ScopedEnv>("TWNT_REGISTRY", editor::qt::qs(registryPath));
    envFixture = std::make_unique<ScopedEnv>("TWNT_WMI_FIXTURE", path("fixture.json"));
    envTemp = std::make_unique<ScopedEnv>("TEMP", dir.path());
    envTmp = std::make_unique<ScopedEnv>("TMP", dir.path());
    host = platform::makeHostPlatform();
    app = std::make_unique<editor::CtwntcfgApp>(host->get(), ui);
    app->InitInstance({});
    model = app->createDialog();
    model->OnInitDialog();
    window = std::make_unique<editor::qt::TwntcfgDialog>(*model);
    window->setModal(true);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) qFatal("the main window was not shown");
}

EditorUnderTest::~EditorUnderTest() = default;

QWidget* EditorUnderTest::widget(const std::string& name) const {
    return window->control(name);
}

QLineEdit* EditorUnderTest::lineEdit(const std::string& name) const {
    return qobject_cast<QLineEdit*>(widget(name));
}

QAbstractButton* EditorUnderTest::button(const std::string& name) const {
    return qobject_cast<QAbstractButton*>(widget(name));
}

// ---- modal windows ----------------------------------------------------------------------

QString messageText(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->text();
    if (auto* text = modal->findChild<QPlainTextEdit*>("Message")) return text->toPlainText();
    return {};
}

ModalScript::ModalScript(int timeoutMs)
    : timeoutMs_(timeoutMs), alive_(std::make_shared<bool>(true)) {}

ModalScript::~ModalScript() {
    *alive_ = false;
}

ModalScript& ModalScript::on(const QString& title, Action action) {
    steps_.push_back({title, std::move(action)});
    return *this;
}

ModalScript& ModalScript::press(const QString& title, const QString& button) {
    return on(title, [this, title, button](QWidget* w) {
        auto* b = w->findChild<QAbstractButton*>(button);
        if (!b) {
            errors << QString("'%1' has no button '%2'").arg(title, button);
            return;
        }
        b->click();
    });
}

void ModalScript::start() {
    deadline_ = QDateTime::currentMSecsSinceEpoch() + timeoutMs_;
    baseLevel_ = QThread::currentThread()->loopLevel();
    std::weak_ptr<bool> alive = alive_;
    QTimer::singleShot(10, qApp, [this, alive] {
        if (alive.lock() && *alive.lock()) poll();
    });
}

// Whether the window in front is ready for a step: shown, active, and its
// own event loop running (the loop is deeper than the one of the window a
// step acted on beneath it). A dialog caught between show() and its exec()
// would take an accept() before its loop starts and stay in front for
// ever; a window a step already acted on may still be in front while it
// closes, and is never taken for the next step's.
bool ModalScript::ready(QWidget* front) const {
    if (!front || !front->isVisible() || !front->isActiveWindow()) return false;
    if (acted_.contains(front)) return false;
    int below = baseLevel_;
    for (const auto& [w, level] : open_)
        if (w && w->isVisible()) below = std::max(below, level);
    return QThread::currentThread()->loopLevel() > below;
}

void ModalScript::poll() {
    if (failed_) return;
    std::weak_ptr<bool> alive = alive_;
    auto again = [this, alive] {
        QTimer::singleShot(10, qApp, [this, alive] {
            if (auto a = alive.lock(); a && *a) poll();
        });
    };
    QWidget* front = QApplication::activeModalWidget();
    const bool shown = front && front->isVisible();
    const bool above = shown && !front->inherits("tw::editor::qt::TwntcfgDialog");
    if (!steps_.empty() && shown && front->windowTitle() == steps_.front().title && ready(front)) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        seen.push_back({front->windowTitle(), messageText(front)});
        acted_.push_back(front);
        open_.push_back({front, QThread::currentThread()->loopLevel()});
        deadline_ = QDateTime::currentMSecsSinceEpoch() + timeoutMs_;
        // Later steps may answer windows that this one opens.
        again();
        step.action(front);
        return;
    }
    const bool unexpected = above && !acted_.contains(front);
    if ((unexpected || !steps_.empty()) && QDateTime::currentMSecsSinceEpoch() > deadline_) {
        errors << (steps_.empty()
                       ? QString("unexpected window '%1'").arg(front->windowTitle())
                       : QString("no window '%1' came up (in front: '%2')")
                             .arg(steps_.front().title, front ? front->windowTitle() : QString()));
        failed_ = true;
        closeAll();
        return;
    }
    again();
}

// After a failure every modal window above the one the test drives is
// closed as it comes up, until the script ends, so that the test never hangs.
void ModalScript::closeAll() {
    for (int i = 0; i < 20; ++i) {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || d->inherits("tw::editor::qt::TwntcfgDialog")) break;
        d->done(QDialog::Rejected);
    }
    std::weak_ptr<bool> alive = alive_;
    QTimer::singleShot(10, qApp, [this, alive] {
        if (auto a = alive.lock(); a && *a) closeAll();
    });
}

QStringList unnamedControls(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool control = w->inherits("QLabel") || w->inherits("QAbstractButton") ||
                             w->inherits("QLineEdit") || w->inherits("QComboBox") ||
                             w->inherits("QAbstractItemView") || w->inherits("QPlainTextEdit") ||
                             w->inherits("QGroupBox");
        if (!control || w->inherits("QHeaderView")) continue;
        bool inside = false;
        for (QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget())
            inside = inside || p->inherits("QComboBox");
        if (inside) continue;
        if (w->objectName().isEmpty() || w->accessibleName() != w->objectName())
            out << QString("%1 '%2'").arg(w->metaObject()->className(), w->objectName());
    }
    return out;
}

void click(QWidget* root, const QString& name) {
    auto* b = root->findChild<QAbstractButton*>(name);
    if (!b) qFatal("no button '%s'", qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton);
}

void typeInto(QWidget* root, const QString& name, const QString& text) {
    auto* e = root->findChild<QLineEdit*>(name);
    if (!e) qFatal("no field '%s'", qPrintable(name));
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClicks(e, text);
}

void choosePath(QWidget* dialog, const QString& path) {
    auto* picker = qobject_cast<QFileDialog*>(dialog);
    if (!picker) qFatal("'%s' is no file dialog", qPrintable(dialog->windowTitle()));
    auto* name = picker->findChild<QLineEdit*>("fileNameEdit");
    if (!name) qFatal("'%s' has no file name field", qPrintable(dialog->windowTitle()));
    name->setText(path);
    static_cast<QDialog*>(picker)->accept();
}

}  // namespace tw::testing
