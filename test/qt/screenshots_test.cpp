// Renders every window of the editor offscreen into PNG files under the
// build folder (screenshots/), so that anyone can look at the layout without
// a display.
#include <QDir>
#include <QMessageBox>
#include <QTest>

#include "editor/qt/remoteselectdialog.h"
#include "editor/qt/twntcfgdialog.h"
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
