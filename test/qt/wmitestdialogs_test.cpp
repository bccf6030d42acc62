// The WMI test editor's windows driven through their widgets from the main
// window, headless, on a temporary settings file and WMI fixture.
#include "editor/qt/wmitestdialogs.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "test/qt/qt_harness.h"
#include "test/support/editor_fixture.h"

using namespace tw::testing;
using tw::editor::qt::ss;
namespace ctl = tw::editor::ctl;

namespace {

const std::string kPool =
    "cpuload Numerical \"80:90\" perf \"select LoadPercentage from Win32_Processor\" "
    "\"Load: %value%\"|procs Numerical \"100:200\" noperf "
    "\"select NumberOfProcesses from Win32_OperatingSystem\" \"Processes: %value%\r\nof &query\"";

std::vector<std::pair<std::string, std::string>> withPool() {
    auto s = kCompleteSettings;
    s.emplace_back("WMIPool", kPool);
    return s;
}

// Chooses an entry of a drop-down list as a person does: open it, move to
// the entry, press Enter.
void choose(QWidget* root, const QString& name, const QString& entry) {
    auto* box = root->findChild<QComboBox*>(name);
    if (!box) qFatal("no list '%s'", qPrintable(name));
    box->showPopup();
    const int row = box->findText(entry);
    if (row < 0) qFatal("no entry '%s' in '%s'", qPrintable(entry), qPrintable(name));
    box->view()->setCurrentIndex(box->model()->index(row, 0));
    QTest::keyClick(box->view(), Qt::Key_Return);
}

QString field(QWidget* root, const QString& name) {
    if (auto* e = root->findChild<QLineEdit*>(name)) return e->text();
    if (auto* t = root->findChild<QPlainTextEdit*>(name)) return t->toPlainText();
    if (auto* c = root->findChild<QComboBox*>(name)) return c->currentText();
    qFatal("no field '%s'", qPrintable(name));
}

QStringList column(QWidget* root, int c) {
    auto* list = root->findChild<QTreeWidget*>("WMI Test List");
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(c);
    return out;
}

}  // namespace

class WmiTestDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void everyWidgetCarriesItsLabelAsNames() {
        EditorUnderTest e(withPool());
        auto& wmi = e.model->wmi();
        std::vector<tw::editor::WmiTestRow> rows;
        tw::editor::AddWMITest t(rows, kPool, wmi);
        std::string threshold, query;
        tw::editor::WMINumThreshold n(threshold, e.ui);
        tw::editor::WMIStrThreshold s(threshold, e.ui);
        tw::editor::WMIBrowser b(wmi, query);
        tw::editor::WMITestConfig config(wmi, e.model->platform());
        tw::editor::qt::WmiTestConfigDialog list(config);
        tw::editor::qt::AddWmiTestDialog add(t);
        tw::editor::qt::NumThresholdDialog num(n);
        tw::editor::qt::StrThresholdDialog str(s);
        tw::editor::qt::WmiBrowserDialog browser(b);
        const std::pair<QDialog*, QStringList> dialogs[] = {
            {&list, {"WMI Test List", "Add", "Edit", "Delete", "Save", "Quit"}},
            {&add,
             {"TW Test Name", "Data Type", "WMI Query", "Threshold", "Trend", "TW Page Format",
              "Test Query", "Browser", "Show Class", "OK", "Cancel"}},
            {&num,
             {"Warning", "Panic", "or", "Panic Min Value", "Warning Min Value", "Warning Max Value",
              "Panic Max Value", "OK", "Cancel"}},
            {&str, {"Warning String(s)", "Panic String(s)", "OK", "Cancel"}},
            {&browser, {"WMI Class Name", "WMI Class Property", "OK", "Cancel"}},
        };
        for (const auto& [d, names] : dialogs) {
            QCOMPARE(d->accessibleName(), d->windowTitle());
            QCOMPARE(unnamedControls(d), QStringList());
            for (const QString& name : names) {
                auto* w = d->findChild<QWidget*>(name);
                QVERIFY2(w && w->accessibleName() == name, qPrintable(name));
            }
        }
    }

    void addFromThePoolTestQueryOkAndSaveWriteWMITests() {
        EditorUnderTest e(withPool());
        ModalScript script;
        QStringList names;
        script.on("WMI Test Configuration", [&](QWidget* w) {
            QVERIFY(!w->findChild<QAbstractButton*>("Save")->isEnabled());
            click(w, "Add");
            names = column(w, 0);
            click(w, "Save");
            click(w, "Quit");
        });
        script.on("New WMI Test", [&](QWidget* w) {
            choose(w, "WMI Query", "select NumberOfProcesses from Win32_OperatingSystem");
            QCOMPARE(field(w, "TW Test Name"), QString("procs"));
            QCOMPARE(field(w, "Threshold"), QString("100:200"));
            QCOMPARE(field(w, "TW Page Format"), QString("Processes: %value%\nof &query"));
            typeInto(w, "TW Test Name", "nprocs");
            click(w, "Test Query");
            click(w, "OK");
        });
        script.press("INFO", "OK");
        script.start();
        click(e.window.get(), ctl::kWmiTestConfig);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 10000);
        QCOMPARE(
            script.seen.at(2).text,
            QString("Processes: 61\r\nof select NumberOfProcesses from Win32_OperatingSystem"));
        QCOMPARE(names, QStringList({"cpuload", "nprocs"}));
        QCOMPARE(readSetting(e.registryPath, "WMITests").value_or(""),
                 std::string("cpuload Numerical \"80:90\" perf \"select LoadPercentage from "
                             "Win32_Processor\" \"Load: %value%\r\nDone\"|nprocs Numerical "
                             "\"100:200\" noperf \"select NumberOfProcesses from "
                             "Win32_OperatingSystem\" \"Processes: %value%\r\nof &query\""));
        QVERIFY(readFile(ss(e.path("twwmitests"))).find("nprocs Numerical") != std::string::npos);
        QVERIFY2(e.button(ctl::kSave)->isEnabled(), "opening the WMI tests enables Save");
    }

    void editThenCancelPutsTheRowBackAndQuitAsks() {
        EditorUnderTest e(withPool());
        ModalScript script;
        script.on("WMI Test Configuration", [&](QWidget* w) {
            auto* list = w->findChild<QTreeWidget*>("WMI Test List");
            QCOMPARE(column(w, 5), QStringList({"Load: %value%\\r\\nDone"}));
            click(w, "Edit");  // nothing selected
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->topLevelItem(0)).center());
            click(w, "Edit");
            QCOMPARE(column(w, 0), QStringList({"cpuload"}));
            QVERIFY(w->findChild<QAbstractButton*>("Save")->isEnabled());
            click(w, "Quit");
        });
        script.press("ERROR", "OK");
        script.on("New WMI Test", [&](QWidget* w) {
            QCOMPARE(field(w, "TW Test Name"), QString("cpuload"));
            QCOMPARE(field(w, "Data Type"), QString("Numerical"));
            QVERIFY(w->findChild<QCheckBox*>("Trend")->isChecked());
            QCOMPARE(field(w, "TW Page Format"), QString("Load: %value%\nDone"));
            click(w, "Cancel");
        });
        script.press("Changes not saved", "Yes");
        script.start();
        click(e.window.get(), ctl::kWmiTestConfig);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 10000);
        QCOMPARE(script.seen.at(1).text, QString("You need select a test from the list"));
        QCOMPARE(script.seen.at(3).text, QString("Continue without saving?"));
    }

    void thresholdFieldOpensTheDialogOfTheDataType() {
        EditorUnderTest e(withPool());
        ModalScript script;
        script.on("WMI Test Configuration", [&](QWidget* w) {
            click(w, "Add");
            click(w, "Quit");
        });
        script.on("New WMI Test", [&](QWidget* w) {
            auto* threshold = w->findChild<QLineEdit*>("Threshold");
            QTest::mouseClick(threshold, Qt::LeftButton);  // no type yet: a message
            auto* query = w->findChild<QComboBox*>("WMI Query");
            QTRY_VERIFY(w->focusWidget() == query || w->focusWidget() == query->lineEdit());
            choose(w, "Data Type", "Numerical");
            QVERIFY(w->findChild<QCheckBox*>("Trend")->isEnabled());
            // The focus moves by the click only in the window in front.
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::mouseClick(threshold, Qt::LeftButton);
            QTRY_COMPARE(threshold->text(), QString("5:10::20:30"));
            choose(w, "Data Type", "String");
            QVERIFY(!w->findChild<QCheckBox*>("Trend")->isEnabled());
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::mouseClick(threshold, Qt::LeftButton);
            QTRY_COMPARE(threshold->text(), QString("down;failed:stopped"));
            click(w, "Cancel");
        });
        script.press("ERROR", "OK");
        script.on("Numerical Threshold", [&](QWidget* w) {
            QVERIFY(w->findChild<QLineEdit*>("Warning")->isEnabled());
            QVERIFY(!w->findChild<QLineEdit*>("Panic Min Value")->isEnabled());
            auto* orBox = w->findChild<QCheckBox*>("or");
            QTest::mouseClick(orBox, Qt::LeftButton, {}, QPoint(8, orBox->height() / 2));
            QVERIFY(!w->findChild<QLineEdit*>("Warning")->isEnabled());
            typeInto(w, "Panic Min Value", "5");
            typeInto(w, "Warning Min Value", "10");
            typeInto(w, "Warning Max Value", "20");
            typeInto(w, "Panic Max Value", "30");
            click(w, "OK");
        });
        script.on("String Threshold", [&](QWidget* w) {
            // Opened on the band just made, split at its first ":".
            QCOMPARE(field(w, "Warning String(s)"), QString("5"));
            QCOMPARE(field(w, "Panic String(s)"), QString("10::20:30"));
            typeInto(w, "Warning String(s)", "");
            click(w, "OK");  // a message, the dialog stays
            typeInto(w, "Warning String(s)", "down;failed");
            typeInto(w, "Panic String(s)", "stopped");
            click(w, "OK");
        });
        script.press("ERROR", "OK");
        script.press("Changes not saved", "Yes");
        script.start();
        click(e.window.get(), ctl::kWmiTestConfig);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 15000);
        QCOMPARE(script.seen.at(2).text, QString("Please select data type first"));
        QCOMPARE(script.seen.at(5).text, QString("Warning string is empty."));
    }

    // Two classes with the same number of properties and the same first
    // name: the list kept the first class's properties.
    void classBrowserRefillsThePropertiesOnEveryClassChange() {
        EditorUnderTest e(kCompleteSettings, R"({
          "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC"}],
          "Win32_Fan": [{"Name": "f", "Speed": 1}],
          "Win32_Pump": [{"Name": "p", "Flow": 2}]
        })");
        std::string query;
        tw::editor::WMIBrowser b(e.model->wmi(), query);
        tw::editor::qt::WmiBrowserDialog d(b);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto* classes = d.findChild<QListWidget*>("WMI Class Name");
        auto* properties = d.findChild<QListWidget*>("WMI Class Property");
        auto pick = [](QListWidget* l, const QString& text) {
            auto* item = l->findItems(text, Qt::MatchExactly).value(0);
            if (!item) return false;
            QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(item).center());
            return true;
        };
        auto shown = [&] {
            QStringList out;
            for (int i = 0; i < properties->count(); ++i) out << properties->item(i)->text();
            return out;
        };
        QVERIFY(pick(classes, "Win32_Fan"));
        QCOMPARE(shown(), QStringList({"Name", "Speed"}));
        QVERIFY(pick(classes, "Win32_Pump"));
        QCOMPARE(shown(), QStringList({"Name", "Flow"}));
        QVERIFY(pick(properties, "Flow"));
        QCOMPARE(d.findChild<QLabel*>("Query")->text(), QString("select Flow from Win32_Pump"));
    }

    void browserGivesTheQueryAndShowClassShowsTheClass() {
        EditorUnderTest e(withPool());
        ModalScript script;
        script.on("WMI Test Configuration", [&](QWidget* w) {
            click(w, "Add");
            click(w, "Quit");
        });
        script.on("New WMI Test", [&](QWidget* w) {
            click(w, "Browser");
            QCOMPARE(field(w, "WMI Query"), QString("select LoadPercentage from Win32_Processor"));
            click(w, "Show Class");
            click(w, "Cancel");
        });
        script.on("WMI Win32 Class Browser", [&](QWidget* w) {
            auto* classes = w->findChild<QListWidget*>("WMI Class Name");
            QStringList names;
            for (int i = 0; i < classes->count(); ++i) names << classes->item(i)->text();
            QVERIFY(names.contains("Win32_Processor") && names.contains("Win32_Service"));
            auto pick = [](QListWidget* l, const QString& text) {
                auto* item = l->findItems(text, Qt::MatchExactly).value(0);
                QVERIFY(item);
                QTest::mouseClick(l->viewport(), Qt::LeftButton, {},
                                  l->visualItemRect(item).center());
            };
            pick(classes, "Win32_Processor");
            pick(w->findChild<QListWidget*>("WMI Class Property"), "LoadPercentage");
            click(w, "OK");
        });
        script.press("Show Class", "Yes");
        script.press("Show Class", "OK");
        script.press("Changes not saved", "Yes");
        script.start();
        click(e.window.get(), ctl::kWmiTestConfig);
        QTRY_VERIFY2_WITH_TIMEOUT(script.done(), qPrintable(script.errors.join("; ")), 15000);
        QCOMPARE(script.seen.at(4).text,
                 QString("WMI Class Win32_Processor:\n\nProperties:\nName|LoadPercentage|"
                         "DeviceID\n\nValues:\nXeon|17|CPU0\n"));
    }
};

QTEST_MAIN(WmiTestDialogsTest)
#include "wmitestdialogs_test.moc"
