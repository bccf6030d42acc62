// The main window of twntcfg driven through its widgets, headless, on a
// temporary settings file and WMI fixture.
#include "editor/qt/twntcfgdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include "editor/qt/twntcfgmain.h"
#include "test/qt/qt_harness.h"
#include "platform/posix/file_settings_store.h"
#include "test/support/editor_fixture.h"

using namespace tw::testing;
using tw::editor::qt::qs;
using tw::editor::qt::ss;
namespace ctl = tw::editor::ctl;

// A remote machine DB2: twwmi --serve over its own settings file (the
// settings given, with the alias "Database") and, without a fixture, the
// live provider of this host; else over the fixture given. Reached through
// TWNT_REMOTE_COMMAND, as an administrator sets it.
struct RemoteMachine {
    RemoteMachine(EditorUnderTest& e, const QString& fixture = {}, const QString& path = {})
        : registry(e.path("db2.reg")) {
        auto settings = kCompleteSettings;
        for (auto& [name, text] : settings) {
            if (name == "TWDISPLAY") text = "db-mon.corp.lan";
            if (name == "AliasName") text = "Database";
        }
        writeSettings(ss(registry), settings);
        QString env = "env -u TWNT_WMI_FIXTURE";
        if (!fixture.isEmpty()) {
            writeFile(ss(e.path("db2.json")), ss(fixture));
            env += " TWNT_WMI_FIXTURE=" + e.path("db2.json");
        }
        if (!path.isEmpty()) env += " PATH=" + path;
        command = std::make_unique<ScopedEnv>(
            "TWNT_REMOTE_COMMAND",
            QString("%1 TWNT_REGISTRY=%2 %3/twwmi --serve").arg(env, registry, TW_BINARY_DIR));
    }
    std::string setting(const char* name) const {
        return readSetting(ss(registry), name).value_or("<missing>");
    }
    QString registry;
    std::unique_ptr<ScopedEnv> command;
};

// Chooses a name in "Remote Select" as a person does: scrolls to it and
// clicks it. False when the list does not offer it.
bool chooseName(QWidget* select, const QString& name) {
    auto* list = select->findChild<QListView*>("Names");
    if (!list) return false;
    const QModelIndexList found = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole,
                                                       name, 1, Qt::MatchExactly);
    if (found.isEmpty()) return false;
    list->scrollTo(found[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(found[0]).center());
    return list->currentIndex() == found[0];
}

QStringList offeredNames(QWidget* select) {
    QStringList out;
    auto* list = select->findChild<QListView*>("Names");
    for (int i = 0; list && i < list->model()->rowCount(); ++i)
        out << list->model()->index(i, 0).data().toString();
    return out;
}

// Receives the web addresses the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls << url; }
};

class TwntcfgDialogTest : public QObject {
    Q_OBJECT

  private:
    static QString text(EditorUnderTest& e, const char* name) { return e.lineEdit(name)->text(); }
    static QStringList items(QWidget* w) {
        QStringList out;
        if (auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        if (auto* box = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        return out;
    }

  private slots:
    void loadShowsTheSettingsOfTheMachine() {
        EditorUnderTest e(kCompleteSettings);
        QCOMPARE(e.window->windowTitle(),
                 QString("Tallwatch Professional Edition Client 5.01 Configuration Editor"));
        QCOMPARE(items(e.widget(ctl::kDisplayHosts)),
                 QStringList({"mon1.corp.lan", "mon2.corp.lan:1985"}));
        QCOMPARE(items(e.widget(ctl::kPagerHosts)), QStringList({"[::1]:1986", "pager.corp.lan"}));
        QCOMPARE(text(e, ctl::kComputerName), QString("\\\\WEB1"));
        QCOMPARE(text(e, ctl::kAlias), QString("Front End #2"));
        QCOMPARE(text(e, ctl::kCpuWarning), QString("80"));
        QCOMPARE(text(e, ctl::kCommitPanic), QString("90"));
        QCOMPARE(text(e, ctl::kKeyCode), QString("secret phrase"));
        QVERIFY(qobject_cast<QCheckBox*>(e.widget(ctl::kActivateLog))->isChecked());
        QVERIFY(!qobject_cast<QCheckBox*>(e.widget(ctl::kFqdn))->isChecked());
        QCOMPARE(qobject_cast<QComboBox*>(e.widget(ctl::kRebootColor))->currentText(),
                 QString("Red"));
        QCOMPARE(qobject_cast<QComboBox*>(e.widget(ctl::kSetTest))->currentText(), QString("cpu"));
        QVERIFY(qobject_cast<QRadioButton*>(e.widget(ctl::kPerformTrend))->isChecked());
        QCOMPARE(items(e.widget(ctl::kProcsPick)), QStringList({"Idle", "sqlservr", "svchost"}));
        QCOMPARE(items(e.widget(ctl::kDrivesPick)),
                 QStringList({"C: Local Fixed Disk", "D: CD-ROM Disc"}));
        QCOMPARE(e.button(ctl::kService)->text().remove('&'), QString("Stop Service"));
        QVERIFY(!e.button(ctl::kSave)->isEnabled());
    }

    // Every widget is named by its label, so that tests and assistive
    // tools find it; repeated labels carry their group's label.
    void everyWidgetCarriesItsLabelAsNames() {
        EditorUnderTest e(kCompleteSettings);
        for (const auto& c : e.model->controls()) {
            auto* w = e.window->findChild<QWidget*>(qs(c.name));
            QVERIFY2(w, c.name.c_str());
            QCOMPARE(w->accessibleName(), qs(c.name));
        }
        for (const char* name :
             {"CPU default Warning", "Commit Charge Panic", "DISPLAY hosts Add", "PAGER hosts Del",
              "DISPLAY hosts entry", "Processes List pick list", "Network IFs pick list"})
            QVERIFY2(e.window->findChild<QWidget*>(name), name);
        QCOMPARE(unnamedControls(e.window.get()), QStringList());
    }

    void buttonsHaveDistinctMnemonicsAndLabelsFocusTheirFields() {
        EditorUnderTest e(kCompleteSettings);
        QSet<QChar> letters;
        for (auto* b : e.window->findChildren<QAbstractButton*>()) {
            const QString t = b->text();
            const qsizetype amp = t.indexOf('&');
            if (amp < 0) continue;
            const QChar letter = t[amp + 1].toLower();
            QVERIFY2(!letters.contains(letter), qPrintable(t));
            letters.insert(letter);
        }
        for (const char* b : {ctl::kSave, ctl::kQuit, ctl::kLoad, ctl::kWmiTestConfig,
                              ctl::kAddExternal, ctl::kService, ctl::kDisplayAdd})
            QVERIFY2(e.button(b)->text().contains('&'), b);
        // Alt + the letter of a label moves the focus to its field.
        auto* l = e.window->findChild<QLabel*>("Key Code label");
        QVERIFY(l && l->text().contains('&'));
        const QChar letter = l->text()[l->text().indexOf('&') + 1];
        QTest::keyClick(e.window.get(), letter.toLatin1(), Qt::AltModifier);
        QCOMPARE(e.window->focusWidget(), e.widget(ctl::kKeyCode));
    }

    void tabOrderFollowsTheLayout() {
        EditorUnderTest e(kCompleteSettings);
        QWidget* w = e.widget(ctl::kDisplayHosts);
        QStringList order;
        for (int i = 0; i < 8; ++i) {
            order << w->objectName();
            do w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
        }
        QCOMPARE(order, QStringList({"DISPLAY hosts", "DISPLAY hosts entry", "DISPLAY hosts Add",
                                     "DISPLAY hosts Del", "PAGER hosts", "PAGER hosts entry",
                                     "PAGER hosts Add", "PAGER hosts Del"}));
    }

    void typedSettingsAreSavedToTheSettingsFileAndTheExportFile() {
        EditorUnderTest e(kCompleteSettings);
        QWidget* win = e.window.get();
        typeInto(win, ctl::kAlias, "Shop Front");
        typeInto(win, ctl::kCpuWarning, "85");
        typeInto(win, ctl::kTimer, "120");
        typeInto(win, ctl::kDisplayEntry, "alpha.corp.lan");
        click(win, ctl::kDisplayAdd);
        QTest::mouseClick(e.widget(ctl::kFqdn), Qt::LeftButton);
        QVERIFY(e.button(ctl::kSave)->isEnabled());
        click(win, ctl::kSave);
        QVERIFY(!e.button(ctl::kSave)->isEnabled());
        QCOMPARE(e.window->focusWidget(), e.widget(ctl::kQuit));
        const std::string& reg = e.registryPath;
        QCOMPARE(readSetting(reg, "AliasName").value_or(""), std::string("Shop Front"));
        QCOMPARE(readSetting(reg, "Defaults").value_or(""),
                 std::string("CPU:85:95 DISK:90:95 PAGEFILE:70:80"));
        QCOMPARE(readSetting(reg, "Timer").value_or(""), std::string("120"));
        QCOMPARE(readSetting(reg, "TWDISPLAY").value_or(""),
                 std::string("alpha.corp.lan;mon1.corp.lan;mon2.corp.lan:1985"));
        QCOMPARE(readSetting(reg, "FQDN").value_or(""), std::string("Y"));
        const std::string cfg = readFile(ss(e.path("TWNT.cfg")));
        QVERIFY2(cfg.find("[TWDISPLAY]alpha.corp.lan;mon1.corp.lan;mon2.corp.lan:1985\r\n") !=
                     std::string::npos,
                 cfg.c_str());
        QVERIFY(cfg.find("[AliasName]Shop Front\r\n") != std::string::npos);
    }

    void fieldRulesKeepDigitsAndLengths() {
        EditorUnderTest e(kCompleteSettings);
        QWidget* win = e.window.get();
        typeInto(win, ctl::kCpuPanic, "9x7y15");
        QCOMPARE(text(e, ctl::kCpuPanic), QString("971"));
        typeInto(win, ctl::kIpPort, "19-84");
        QCOMPARE(text(e, ctl::kIpPort), QString("1984"));
        typeInto(win, ctl::kAlias, "any text: 1/2");
        QCOMPARE(text(e, ctl::kAlias), QString("any text: 1/2"));
        QCOMPARE(e.model->text(ctl::kCpuPanic), std::string("971"));
    }

    void failedCheckShowsItsMessageAndFocusesItsField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("empty") << "CPU default Panic"
                               << ""
                               << "CPU Panic value is required"
                               << "CPU default Panic";
        QTest::newRow("order") << "Physical Memory Panic"
                               << "50"
                               << "Physical Memory warning value is invalid"
                               << "Physical Memory Warning";
        QTest::newRow("network") << "Network IFs"
                                 << "LAN 100:85:95:80:90"
                                 << "Mbps missing in network interface definition"
                                 << "Network IFs";
    }
    void failedCheckShowsItsMessageAndFocusesItsField() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        EditorUnderTest e(kCompleteSettings);
        typeInto(e.window.get(), field, typed);
        ModalScript script;
        bool waiting = false;
        script.on("twntcfg Error", [&](QWidget* box) {
            waiting = e.ui.waiting();
            box->findChild<QAbstractButton*>("OK")->click();
        });
        script.start();
        // The button takes the focus from the field when clicked, as a mouse does.
        e.button(ctl::kSave)->setFocus();
        click(e.window.get(), ctl::kSave);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 15000);
        QCOMPARE(script.seen.at(0).text, message);
        QVERIFY(waiting);
        // One message: the focus leaving the field for "Save" adds none.
        QCOMPARE(script.seen.size(), size_t(1));
        QCOMPARE(e.window->focusWidget()->objectName(), focus);
        QVERIFY(e.button(ctl::kSave)->isEnabled());
        QCOMPARE(readSetting(e.registryPath, "Defaults").value_or(""),
                 std::string("CPU:80:95 DISK:90:95 PAGEFILE:70:80"));
    }

    void enterAndEscapeCloseNothing() {
        EditorUnderTest e(kCompleteSettings);
        e.widget(ctl::kAlias)->setFocus();
        QTest::keyClick(e.widget(ctl::kAlias), Qt::Key_Return);
        QTest::keyClick(e.widget(ctl::kAlias), Qt::Key_Escape);
        QTest::keyClick(e.window.get(), Qt::Key_Escape);
        QVERIFY(e.window->isVisible());
        QVERIFY(!e.model->closed());
    }

    void closingWithChangesAsksFirst() {
        EditorUnderTest e(kCompleteSettings);
        typeInto(e.window.get(), ctl::kAlias, "changed");
        ModalScript no;
        no.press("Changes not saved", "No").start();
        e.window->close();
        QTRY_VERIFY_WITH_TIMEOUT(no.done(), 5000);
        QCOMPARE(no.seen.at(0).text, QString("Continue without saving?"));
        QVERIFY(e.window->isVisible());
        ModalScript yes;
        yes.press("Changes not saved", "Yes").start();
        click(e.window.get(), ctl::kQuit);
        QTRY_VERIFY_WITH_TIMEOUT(yes.done(), 5000);
        QVERIFY(!e.window->isVisible());
        QVERIFY(e.model->closed());
        QVERIFY(readSetting(e.registryPath, "AliasName") == std::string("Front End #2"));
    }

    void loadWithChangesShowsTheWaitCursorAndAsks() {
        EditorUnderTest e(kCompleteSettings);
        typeInto(e.window.get(), ctl::kAlias, "changed");
        ModalScript script;
        bool waiting = false;
        script.on("Changes not saved", [&](QWidget* box) {
            waiting = e.ui.waiting();
            box->findChild<QAbstractButton*>("Yes")->click();
        });
        script.start();
        click(e.window.get(), ctl::kLoad);
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 5000);
        QVERIFY(waiting);
        QVERIFY(!e.ui.waiting());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(text(e, ctl::kAlias), QString("Front End #2"));
        QVERIFY(!e.button(ctl::kSave)->isEnabled());
    }

    void pickListAndModeButtonsEditTheirFields() {
        EditorUnderTest e(kCompleteSettings);
        auto* drives = qobject_cast<QComboBox*>(e.widget(ctl::kDrivesPick));
        typeInto(e.window.get(), ctl::kDrives, "");
        drives->showPopup();
        QTest::keyClick(drives->view(), Qt::Key_Down);
        QTest::keyClick(drives->view(), Qt::Key_Up);
        QTest::keyClick(drives->view(), Qt::Key_Return);
        QCOMPARE(text(e, ctl::kDrives), QString("C:90:95:R "));
        auto* test = qobject_cast<QComboBox*>(e.widget(ctl::kSetTest));
        test->setCurrentIndex(test->findText("procs"));
        emit test->activated(test->currentIndex());
        QVERIFY(!e.widget(ctl::kPerformTrend)->isEnabled());
        QTest::mouseClick(e.widget(ctl::kDisable), Qt::LeftButton);
        QVERIFY(!e.widget(ctl::kProcs)->isEnabled());
        QVERIFY(!e.widget(ctl::kProcsPick)->isEnabled());
    }

    void serviceButtonStopsAndStartsTheAgent() {
        EditorUnderTest e(kCompleteSettings);
        click(e.window.get(), ctl::kService);
        QCOMPARE(e.button(ctl::kService)->text().remove('&'), QString("Start Service"));
        click(e.window.get(), ctl::kService);
        QCOMPARE(e.button(ctl::kService)->text().remove('&'), QString("Stop Service"));
    }

    void logoOpensTheMakersWebAddress() {
        EditorUnderTest e(kCompleteSettings);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        click(e.window.get(), ctl::kLogo);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls, QList<QUrl>({QUrl(tw::editor::kWebAddress)}));
    }

    void unwritableSettingsFileIsReported() {
        // A folder that cannot be made (a file has its name): not even root
        // can write there.
        QTemporaryDir dir;
        writeFile(ss(dir.filePath("file")), "");
        const QString registry = dir.filePath("file/registry.reg");
        // Nothing to read: the start says which settings it could not read.
        ModalScript start;
        start.press("twntcfg Error", "OK").start();
        EditorUnderTest e({}, kWindowsFixture, registry);
        QTRY_VERIFY2_WITH_TIMEOUT(start.done(), qPrintable(start.errors.join("; ")), 10000);
        QVERIFY(start.seen.at(0).text.startsWith("These settings could not be read"));
        typeInto(e.window.get(), ctl::kDisplayEntry, "mon1");
        click(e.window.get(), ctl::kDisplayAdd);
        for (const char* f :
             {ctl::kDrivesWarning, ctl::kDrivesPanic, ctl::kCpuWarning, ctl::kCpuPanic,
              ctl::kPhysWarning, ctl::kPhysPanic, ctl::kCommitWarning, ctl::kCommitPanic,
              ctl::kPageFileWarning, ctl::kPageFilePanic, ctl::kRebootMins, ctl::kStartDelay,
              ctl::kUpDays})
            typeInto(e.window.get(), f, "9");
        ModalScript script;
        script.press("twntcfg Error", "OK").start();
        click(e.window.get(), ctl::kSave);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 5000);
        QCOMPARE(script.seen.at(0).text, QString("Can not save the setting: TWDISPLAY"));
        QVERIFY(e.button(ctl::kSave)->isEnabled());
    }

    void windowFitsTheSmallestScreenAndGrows() {
        EditorUnderTest e(kCompleteSettings);
        const QSize hint = e.window->sizeHint();
        QVERIFY2(hint.width() <= 1280 && hint.height() <= 760,
                 qPrintable(QString("%1x%2").arg(hint.width()).arg(hint.height())));
        e.window->resize(1600, 1000);
        QTRY_COMPARE(e.window->size(), QSize(1600, 1000));
        QVERIFY(e.widget(ctl::kProcs)->width() > 300);
    }

    void addExternalAndBrowseUseTheLocalPickers() {
        EditorUnderTest e(kCompleteSettings);
        const QString program = e.path("check.sh");
        writeFile(ss(program), "#!/bin/sh\n");
        ModalScript script;
        script.on("Open", [&](QWidget* w) { choosePath(w, program); });
        script.on("Pick a Directory", [&](QWidget* w) { choosePath(w, e.dir.path()); });
        script.start();
        click(e.window.get(), ctl::kAddExternal);
        click(e.window.get(), ctl::kLogLocationBrowse);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 10000);
        QCOMPARE(text(e, ctl::kExternals), program + " /INT=300;/opt/check.sh /INT=300");
        QCOMPARE(text(e, ctl::kLogLocation), e.dir.path());
        QVERIFY(e.button(ctl::kSave)->isEnabled());
    }

    // A remote machine: twwmi --serve over the machine's own fixture and
    // settings file, started through TWNT_REMOTE_COMMAND.
    void loadOfARemoteMachineThenItsFileListAndSave() {
        EditorUnderTest e(kCompleteSettings);
        RemoteMachine db2(e, R"({
          "Win32_ComputerSystem": [{"Name": "DB2", "SystemType": "X86-based PC"}],
          "Win32_Service": [{"Name": "MSSQL", "DisplayName": "SQL Server", "Started": true}],
          "CIM_DataFile": [{"Name": "c:\\tools\\check.exe"}, {"Name": "C:\\boot.ini"}]
        })");
        QWidget* win = e.window.get();
        typeInto(win, ctl::kComputerName, "\\\\DB2");
        QVERIFY(!e.button(ctl::kSave)->isEnabled());
        click(win, ctl::kLoad);
        QCOMPARE(text(e, ctl::kAlias), QString("Database"));
        QCOMPARE(items(e.widget(ctl::kDisplayHosts)), QStringList({"db-mon.corp.lan"}));
        QCOMPARE(items(e.widget(ctl::kServicesPick)), QStringList({"SQL Server"}));
        QCOMPARE(e.button(ctl::kService)->text().remove('&'), QString("Start Service"));

        ModalScript script;
        script.press("Remote Machine Directory", "Yes");
        script.on("Remote Select", [&](QWidget* w) {
            auto* list = w->findChild<QListView*>("Names");
            QCOMPARE(list->model()->rowCount(), 2);
            QCOMPARE(list->model()->index(0, 0).data().toString(), QString("C:\\boot.ini"));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(list->model()->index(1, 0)).center());
            click(w, "OK");
        });
        script.start();
        click(win, ctl::kAddExternal);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 10000);
        QCOMPARE(text(e, ctl::kExternals),
                 QString("c:\\tools\\check.exe /INT=300;/opt/check.sh /INT=300"));
        click(win, ctl::kSave);
        QCOMPARE(readSetting(ss(db2.registry), "Externals").value_or(""),
                 std::string("c:\\tools\\check.exe /INT=300;/opt/check.sh /INT=300"));
        QCOMPARE(readSetting(e.registryPath, "Externals").value_or(""),
                 std::string("/opt/check.sh /INT=300"));
    }

    // A typed machine name used to take Save (and the pickers, the WMI test
    // editor, the service button) to that machine before LOAD.
    void typedMachineNameActsOnlyAfterLoad() {
        EditorUnderTest e(kCompleteSettings);
        RemoteMachine db2(e, R"({"Win32_ComputerSystem": [{"Name": "DB2", "SystemType": "X86"}]})");
        QWidget* win = e.window.get();
        typeInto(win, ctl::kComputerName, "\\\\DB2");
        typeInto(win, ctl::kAlias, "Shop Front");
        {
            ModalScript guard;
            guard.start();
            click(win, ctl::kSave);
            QVERIFY2(guard.errors.isEmpty(), qPrintable(guard.errors.join("; ")));
        }
        QCOMPARE(readSetting(e.registryPath, "AliasName").value_or(""), std::string("Shop Front"));
        QCOMPARE(db2.setting("AliasName"), std::string("Database"));
        // "Add External" still offers this machine's files.
        ModalScript picker;
        picker.on("Open", [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        picker.start();
        click(win, ctl::kAddExternal);
        QTRY_VERIFY2_WITH_TIMEOUT(picker.done(), qPrintable(picker.errors.join("; ")), 10000);
        click(win, ctl::kLoad);
        QCOMPARE(text(e, ctl::kAlias), QString("Database"));
        typeInto(win, ctl::kTimer, "120");
        click(win, ctl::kSave);
        QCOMPARE(db2.setting("Timer"), std::string("120"));
        QCOMPARE(readSetting(e.registryPath, "Timer").value_or(""), std::string("300"));
    }

    // A load that could not read every setting used to be saved back whole,
    // the unread settings as empty texts.
    void partialLoadIsToldAndItsUnreadSettingsAreKept() {
        EditorUnderTest e(kCompleteSettings);
        tw::platform::makeFileSettingsStore(e.registryPath)
            ->deleteKey(std::string(kAgentKeyPath) + "MemLevels");
        QWidget* win = e.window.get();
        ModalScript script;
        script.press("twntcfg Error", "OK").start();
        click(win, ctl::kLoad);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 10000);
        QVERIFY2(script.seen.at(0).text.startsWith(
                     "These settings could not be read from \\\\WEB1: CPUrebootcolor, "),
                 qPrintable(script.seen.at(0).text));
        QCOMPARE(text(e, ctl::kTimer), QString());
        for (const char* f : {ctl::kPhysWarning, ctl::kCommitWarning}) typeInto(win, f, "70");
        for (const char* f : {ctl::kPhysPanic, ctl::kCommitPanic}) typeInto(win, f, "80");
        typeInto(win, ctl::kRebootMins, "45");
        typeInto(win, ctl::kStartDelay, "3");
        typeInto(win, ctl::kUpDays, "30");
        typeInto(win, ctl::kAlias, "Shop Front");
        ModalScript guard;
        guard.start();
        click(win, ctl::kSave);
        QVERIFY2(guard.errors.isEmpty(), qPrintable(guard.errors.join("; ")));
        QVERIFY(!e.button(ctl::kSave)->isEnabled());
        const std::string& reg = e.registryPath;
        QCOMPARE(readSetting(reg, "AliasName").value_or(""), std::string("Shop Front"));
        QCOMPARE(readSetting(reg, "MemLevels").value_or(""),
                 std::string("PHYS:70:80 COMMIT:70:80"));
        QCOMPARE(readSetting(reg, "StartDelay").value_or(""), std::string("3"));
        QCOMPARE(readSetting(reg, "Timer").value_or(""), std::string("300"));
        QCOMPARE(readSetting(reg, "KeyCode").value_or(""), std::string("secret phrase"));
        QCOMPARE(readSetting(reg, "CPUrebootcolor").value_or(""), std::string("Red"));
        QCOMPARE(readSetting(reg, "Externals").value_or(""), std::string("/opt/check.sh /INT=300"));
    }

    // The remote pickers against a Linux machine: twwmi --serve over the
    // live provider lists that machine's programs and folders.
    void remotePickersListTheLiveMachinesProgramsAndFolders() {
        EditorUnderTest e(kCompleteSettings);
        const QString bin = e.path("bin");
        QDir().mkpath(bin);
        writeFile(ss(bin + "/check-disk.sh"), "#!/bin/sh\necho ok\n");
        QFile::setPermissions(bin + "/check-disk.sh",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(ss(bin + "/notes.txt"), "not a program\n");
        RemoteMachine live(e, {}, bin);
        QWidget* win = e.window.get();
        typeInto(win, ctl::kComputerName, "\\\\LIVE1");
        click(win, ctl::kLoad);
        QCOMPARE(text(e, ctl::kAlias), QString("Database"));

        QStringList files, folders;
        ModalScript script(20000);
        script.press("Remote Machine Directory", "Yes");
        script.on("Remote Select", [&](QWidget* w) {
            files = offeredNames(w);
            QVERIFY(chooseName(w, bin + "/check-disk.sh"));
            click(w, "OK");
        });
        script.press("Remote Machine Directory", "Yes");
        script.on("Remote Select", [&](QWidget* w) {
            folders = offeredNames(w);
            QVERIFY(chooseName(w, "/tmp"));
            click(w, "OK");
        });
        script.start();
        click(win, ctl::kAddExternal);
        click(win, ctl::kLogLocationBrowse);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 30000);
        QVERIFY(files.contains(bin + "/check-disk.sh"));
        QVERIFY(!files.contains(bin + "/notes.txt"));
        QVERIFY(folders.contains("/") && folders.contains("/usr"));
        QVERIFY(!folders.contains("/proc") && !folders.contains("/sys"));
        QVERIFY(folders.size() <= 10000 && files.size() <= 10000);
        QCOMPARE(text(e, ctl::kExternals), bin + "/check-disk.sh /INT=300;/opt/check.sh /INT=300");
        QCOMPARE(text(e, ctl::kLogLocation), QString("/tmp"));
        click(win, ctl::kSave);
        QCOMPARE(live.setting("Externals"),
                 ss(bin + "/check-disk.sh /INT=300;/opt/check.sh /INT=300"));
        QCOMPARE(live.setting("ExternalPath"), std::string("/tmp"));
    }

    // ---- the program's command line ----

    void versionIsShownAndEndsTheProgram() {
        ModalScript script;
        script.press("twntcfg Info", "OK").start();
        auto host = tw::platform::makeHostPlatform();
        QCOMPARE(tw::editor::qt::runTwntcfg(host->get(), {"-v", "-d"}), 1);
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 5000);
        QCOMPARE(script.seen.at(0).text,
                 QString("Version: 5.01.681 (Tue, 09 Oct 2012 20:03:06 GMT)"));
    }

    void logOptionStartsTheLogAndTheWindowRuns() {
        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        writeSettings(ss(dir.filePath("registry.reg")), kCompleteSettings);
        writeFile(ss(dir.filePath("fixture.json")), kWindowsFixture);
        ScopedEnv reg("TWNT_REGISTRY", dir.filePath("registry.reg"));
        ScopedEnv fixture("TWNT_WMI_FIXTURE", dir.filePath("fixture.json"));
        ModalScript script;
        script.press("Tallwatch Professional Edition Client 5.01 Configuration Editor", "Quit")
            .start();
        auto host = tw::platform::makeHostPlatform();
        const int code = tw::editor::qt::runTwntcfg(host->get(), {"/D", "file.txt", "-x"});
        QDir::setCurrent(old);
        QCOMPARE(code, 0);
        QVERIFY(script.done());
        const std::string log = readFile(ss(dir.filePath("twntcfg.log")));
        QVERIFY2(log.rfind("twntcfg started\r\n", 0) == 0, log.c_str());
    }
};

QTEST_MAIN(TwntcfgDialogTest)
#include "twntcfgdialog_test.moc"
