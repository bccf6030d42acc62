#include "editor/qt/twntcfgdialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw::editor::qt {

namespace {

// The maker's logo, drawn rather than shipped as a file.
QIcon logoIcon() {
    QPixmap pm(132, 36);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, pm.height());
    g.setColorAt(0, QColor(0x1f, 0x5f, 0xa8));
    g.setColorAt(1, QColor(0x0c, 0x33, 0x66));
    p.setBrush(g);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(pm.rect().adjusted(1, 1, -1, -1), 6, 6);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(17);
    p.setFont(f);
    p.setPen(QColor(0xff, 0xc8, 0x2e));
    p.drawText(pm.rect().adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, "Tall");
    const int tall = QFontMetrics(f).horizontalAdvance("Tall");
    p.setPen(Qt::white);
    p.drawText(pm.rect().adjusted(8 + tall, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, "watch");
    return QIcon(pm);
}

}  // namespace

TwntcfgDialog::TwntcfgDialog(CtwntcfgDlg& model, QWidget* parent) : FormDialog(model, parent) {
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    build();
    // Buttons first, then the mode and check boxes, then the fields' labels:
    // the letters go where they are used most.
    finish({ctl::kSave, ctl::kQuit, ctl::kLoad, ctl::kWmiTestConfig, ctl::kAddExternal,
            ctl::kService, ctl::kLogLocationBrowse, ctl::kDisplayAdd, ctl::kDisplayDel,
            ctl::kPagerAdd, ctl::kPagerDel});
}

// A host list: its label, the list, and below it the entry field with "Add"
// and "Del".
QWidget* TwntcfgDialog::hostList(const char* list, const char* entry, const char* add,
                                 const char* del) {
    auto* box = new QWidget;
    setNames(box, qs(list) + " group");
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(label(labelOf(list)));
    v->addWidget(w(list), 1);
    auto* row = new QHBoxLayout;
    row->addWidget(w(entry), 1);
    row->addWidget(w(add));
    row->addWidget(w(del));
    v->addLayout(row);
    return box;
}

QWidget* TwntcfgDialog::fieldWithPicker(const char* field, const char* picker) {
    auto* box = new QWidget;
    setNames(box, qs(field) + " group");
    auto* h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(w(field), 1);
    h->addWidget(w(picker));
    return box;
}

void TwntcfgDialog::build() {
    auto form = [](QGroupBox* g) {
        auto* f = new QGridLayout(g);
        f->setColumnStretch(1, 1);
        return f;
    };
    auto fixed = [&](const char* name, int chars) {
        auto* e = static_cast<QLineEdit*>(w(name));
        e->setFixedWidth(widthForChars(e, chars));
        return e;
    };
    // A field's label, the field and, when it has one, its unit.
    auto row = [&](QGridLayout* g, int r, const char* field, int chars = 0, bool unit = false) {
        g->addWidget(label(labelOf(field)), r, 0);
        g->addWidget(chars ? fixed(field, chars) : w(field), r, 1);
        if (unit) g->addWidget(label(unitOf(field)), r, 2);
    };

    // ---- left: hosts; identity and log ----
    QGroupBox* hosts = group(ctl::kHostsGroup);
    {
        auto* g = new QGridLayout(hosts);
        g->addWidget(
            hostList(ctl::kDisplayHosts, ctl::kDisplayEntry, ctl::kDisplayAdd, ctl::kDisplayDel), 0,
            0, 1, 4);
        g->addWidget(hostList(ctl::kPagerHosts, ctl::kPagerEntry, ctl::kPagerAdd, ctl::kPagerDel),
                     1, 0, 1, 4);
        g->setRowStretch(0, 1);
        g->setRowStretch(1, 1);
        g->addWidget(label(labelOf(ctl::kIpPort)), 2, 0);
        g->addWidget(fixed(ctl::kIpPort, 6), 2, 1);
        g->addWidget(label(labelOf(ctl::kKeyCode)), 2, 2);
        g->addWidget(w(ctl::kKeyCode), 2, 3);
        g->addWidget(label(labelOf(ctl::kPageLevels)), 3, 0);
        g->addWidget(w(ctl::kPageLevels), 3, 1, 1, 3);
        g->addWidget(w(ctl::kSendAlerts), 4, 0, 1, 4);
        g->setColumnStretch(3, 1);
    }
    QGroupBox* identity = group(ctl::kIdentityGroup);
    {
        auto* g = form(identity);
        g->addWidget(label(labelOf(ctl::kComputerName)), 0, 0);
        g->addWidget(w(ctl::kComputerName), 0, 1, 1, 2);
        g->addWidget(label(labelOf(ctl::kAlias)), 1, 0);
        g->addWidget(w(ctl::kAlias), 1, 1, 1, 2);
        g->addWidget(w(ctl::kFqdn), 2, 0, 1, 3);
        g->addWidget(w(ctl::kActivateLog), 3, 0, 1, 3);
        // The field as wide as the others above it (a folder path is long),
        // its browse button right under its end.
        g->addWidget(label(labelOf(ctl::kLogLocation)), 4, 0);
        g->addWidget(w(ctl::kLogLocation), 4, 1, 1, 2);
        g->addWidget(w(ctl::kLogLocationBrowse), 5, 2, Qt::AlignRight);
    }

    // ---- middle: thresholds; externals and timers; service ----
    QGroupBox* thresholds = group(ctl::kThresholdsGroup);
    {
        auto* g = new QGridLayout(thresholds);
        g->addWidget(label(ctl::kWarningHeading), 0, 1);
        g->addWidget(label(ctl::kPanicHeading), 0, 2);
        int r = 1;
        for (const auto& t : kThresholdRows) {
            g->addWidget(label(t.label), r, 0);
            g->addWidget(w(t.warning), r, 1);
            g->addWidget(w(t.panic), r, 2);
            ++r;
        }
        g->setColumnStretch(3, 1);
        auto* more = new QGridLayout;
        row(more, 0, ctl::kRebootColor);
        row(more, 1, ctl::kRebootMins, 6, true);
        row(more, 2, ctl::kStartDelay, 6, true);
        row(more, 3, ctl::kUpDays, 6, true);
        row(more, 4, ctl::kUpDaysColor);
        more->setColumnStretch(3, 1);
        g->addLayout(more, r, 0, 1, 4);
    }
    QGroupBox* externals = group(ctl::kExternalsGroup);
    {
        auto* g = form(externals);
        g->addWidget(label(labelOf(ctl::kExternals)), 0, 0);
        g->addWidget(w(ctl::kExternals), 0, 1);
        g->addWidget(w(ctl::kAddExternal), 0, 2);
        auto* timers = new QHBoxLayout;
        for (const char* timer : {ctl::kTimer, ctl::kLogsTimer}) {
            timers->addWidget(label(labelOf(timer)));
            timers->addWidget(fixed(timer, 7));
            timers->addWidget(label(unitOf(timer)));
            timers->addSpacing(16);
        }
        timers->addStretch(1);
        g->addLayout(timers, 1, 0, 1, 3);
    }
    QGroupBox* service = group(ctl::kServiceGroup);
    {
        auto* h = new QHBoxLayout(service);
        QLabel* note = label(ctl::kServiceNote);
        note->setWordWrap(true);
        h->addWidget(w(ctl::kService));
        h->addWidget(note, 1);
    }

    // ---- right: tests and their lists ----
    QGroupBox* tests = group(ctl::kTestsGroup);
    {
        auto* g = form(tests);
        // Tab order: the choice, its modes, then the WMI tests.
        for (const char* c : {ctl::kSetTest, ctl::kPerform, ctl::kPerformTrend, ctl::kAlwaysGreen,
                              ctl::kDisable, ctl::kWmiTestConfig})
            w(c);
        auto* mode = new QHBoxLayout;
        mode->addWidget(label(labelOf(ctl::kSetTest)));
        mode->addWidget(w(ctl::kSetTest));
        mode->addWidget(label(ctl::kSetTestAs));
        mode->addStretch(1);
        mode->addWidget(w(ctl::kWmiTestConfig));
        g->addLayout(mode, 0, 0, 1, 2);
        auto* radios = new QWidget;
        setNames(radios, "Set test as");
        auto* rl = new QHBoxLayout(radios);
        rl->setContentsMargins(0, 0, 0, 0);
        for (const char* m : {ctl::kPerform, ctl::kPerformTrend, ctl::kAlwaysGreen, ctl::kDisable})
            rl->addWidget(w(m));
        rl->addStretch(1);
        g->addWidget(radios, 1, 0, 1, 2);
        int r = 2;
        for (const auto& [field, picker] :
             {std::pair{ctl::kProcs, ctl::kProcsPick}, std::pair{ctl::kDrives, ctl::kDrivesPick},
              std::pair{ctl::kServices, ctl::kServicesPick},
              std::pair{ctl::kNetIfs, ctl::kNetIfsPick}}) {
            g->addWidget(label(labelOf(field)), r, 0);
            g->addWidget(fieldWithPicker(field, picker), r, 1);
            ++r;
        }
        for (const char* field : {ctl::kMsgLevels, ctl::kIgnoreMsgs}) row(g, r++, field);
        g->setRowStretch(r, 1);
    }

    // ---- bottom: logo, LOAD, Save, Quit ----
    auto* logo = static_cast<QPushButton*>(w(ctl::kLogo));
    logo->setIcon(logoIcon());
    logo->setIconSize(QSize(132, 36));
    logo->setToolTip(kWebAddress);
    logo->setFlat(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(logo);
    bottom->addStretch(1);
    bottom->addWidget(w(ctl::kLoad));
    bottom->addSpacing(24);
    bottom->addWidget(w(ctl::kSave));
    bottom->addWidget(w(ctl::kQuit));

    auto* left = new QVBoxLayout;
    left->addWidget(hosts, 1);
    left->addWidget(identity);
    auto* middle = new QVBoxLayout;
    middle->addWidget(thresholds);
    middle->addWidget(externals);
    middle->addWidget(service);
    middle->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(tests, 1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 4);
    columns->addLayout(middle, 4);
    columns->addLayout(right, 5);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns, 1);
    top->addLayout(bottom);
}

}  // namespace tw::editor::qt
