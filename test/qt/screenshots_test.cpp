// Renders every window of the editor offscreen into PNG files under the
// build folder (screenshots/), so that anyone can look at the layout without
// a display.
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include "editor/qt/remoteselectdialog.h"
#include "editor/qt/twntcfgdialog.h"
#include "editor/qt/viewkit.h"
#include "editor/qt/wmitestdialogs.h"
#include "test/qt/qt_harness.h"
#include "test/support/editor_fixture.h"

using namespace tw::testing;

namespace {

const QString kShots = QString(TW_BINARY_DIR) + "/screenshots";

// Saves the window as it shows now; false when the file cannot be written.
bool shoot(QWidget* w, const QString& file) {
    QDir().mkpath(kShots);
    return w->grab().save(kShots + "/" + file);
}

}  // namespace

class ScreenshotsTest : public QObject {
    Q_OBJECT
  private slots:
    void mainWindow() {
        EditorUnderTest e(kCompleteSettings);
        e.window->resize(e.window->sizeHint());
        QVERIFY(shoot(e.window.get(), "twntcfg-main.png"));
        // The log folder field was squeezed to a sliver beside "Browse...":
        // it is as wide as the fields above it and shows a typical folder.
        auto* log = e.lineEdit(tw::editor::ctl::kLogLocation);
        QCOMPARE(log->width(), e.lineEdit(tw::editor::ctl::kAlias)->width());
        QVERIFY2(log->width() >= tw::editor::qt::widthForChars(log, 0) +
                                     log->fontMetrics().horizontalAdvance("/var/spool/twnt"),
                 qPrintable(QString::number(log->width())));
    }

    void wmiTestWindows() {
        auto settings = kCompleteSettings;
        settings.emplace_back("WMIPool",
                              "procs Numerical \"100:200\" noperf \"select NumberOfProcesses from "
                              "Win32_OperatingSystem\" \"Processes: %value%\r\nof &query\"");
        EditorUnderTest e(settings);
        auto& wmi = e.model->wmi();
        {
            tw::editor::WMITestConfig config(wmi, e.model->platform());
            tw::editor::qt::WmiTestConfigDialog d(config);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY(shoot(&d, "wmi-test-configuration.png"));
        }
        std::vector<tw::editor::WmiTestRow> rows;
        tw::editor::AddWMITest t(rows,
                                 "procs Numerical \"100:200\" noperf \"select "
                                 "NumberOfProcesses from Win32_OperatingSystem\" \"x\"",
                                 wmi);
        t.chooseQuery("select NumberOfProcesses from Win32_OperatingSystem");
        {
            tw::editor::qt::AddWmiTestDialog d(t);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY(shoot(&d, "new-wmi-test.png"));
        }
        {
            std::string threshold = "5:10::20:30";
            tw::editor::WMINumThreshold n(threshold, e.ui);
            tw::editor::qt::NumThresholdDialog d(n);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY(shoot(&d, "numerical-threshold.png"));
        }
        {
            std::string threshold = "down;failed:stopped";
            tw::editor::WMIStrThreshold n(threshold, e.ui);
            tw::editor::qt::StrThresholdDialog d(n);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY(shoot(&d, "string-threshold.png"));
        }
        {
            std::string query;
            tw::editor::WMIBrowser b(wmi, query);
            tw::editor::qt::WmiBrowserDialog d(b);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QVERIFY(shoot(&d, "wmi-class-browser.png"));
        }
    }

    void remoteSelect() {
        std::vector<std::string> names;
        for (int i = 0; i < 40; ++i)
            names.push_back("C:\\Program Files\\Tallwatch\\plugins\\check" + std::to_string(i) +
                            ".exe");
        tw::editor::qt::RemoteSelectDialog d("Remote Select", names);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(shoot(&d, "remote-select.png"));
    }

    void messageBox() {
        QMessageBox box(QMessageBox::Critical, "twntcfg Error", "CPU Panic value is required",
                        QMessageBox::Ok);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QVERIFY(shoot(&box, "message-box.png"));
    }
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
