#include "editor/qt/twntcfgdialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>
#include <optional>

#include "editor/qt/wmitestdialogs.h"

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

// A host list a few entries high: the lists grow with the window.
class HostList : public QListWidget {
  public:
    QSize sizeHint() const override {
        return {fontMetrics().averageCharWidth() * 28,
                fontMetrics().height() * 5 + 2 * frameWidth()};
    }
    QSize minimumSizeHint() const override {
        return {fontMetrics().averageCharWidth() * 16,
                fontMetrics().height() * 3 + 2 * frameWidth()};
    }
};

}  // namespace

TwntcfgDialog::TwntcfgDialog(CtwntcfgDlg& model, QWidget* parent) : QDialog(parent), model_(model) {
    setWindowTitle(kDialogTitle);
    setNames(this, kDialogTitle);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    build();
    // Every control of the model has its widget.
    for (const auto& c : model_.controls())
        if (!widgets_.count(c.name)) std::abort();
    assignMnemonics();
    refresh();
}

QWidget* TwntcfgDialog::control(const std::string& name) const {
    auto it = widgets_.find(std::string(model_.canonical(name)));
    return it == widgets_.end() ? nullptr : it->second;
}

// ---- widgets -------------------------------------------------------------------

QWidget* TwntcfgDialog::w(const char* name) {
    auto it = widgets_.find(name);
    if (it != widgets_.end()) return it->second;
    const Control* c = model_.control(name);
    if (!c) std::abort();
    QWidget* made = make(*c);
    setNames(made, qs(c->name));
    widgets_[c->name] = made;
    return made;
}

QWidget* TwntcfgDialog::make(const Control& c) {
    const std::string name = c.name;
    switch (c.kind) {
        case ControlKind::Text:
        case ControlKind::Digits:
        case ControlKind::Percent: {
            auto* e = new QLineEdit;
            if (c.limit) e->setMaxLength(static_cast<int>(c.limit));
            if (c.kind != ControlKind::Text) digitsOnly(e);
            if (c.kind == ControlKind::Percent) e->setFixedWidth(widthForChars(e, 4));
            connect(e, &QLineEdit::textEdited, this, [this, e, name](const QString& t) {
                if (!model_.setText(name, ss(t))) {
                    const QSignalBlocker block(e);
                    e->setText(qs(model_.text(name)));
                }
                afterModel();
            });
            e->installEventFilter(this);
            return e;
        }
        case ControlKind::CheckBox: {
            auto* b = new QCheckBox(qs(name));
            connect(b, &QCheckBox::clicked, this, [this, name](bool on) {
                model_.setChecked(name, on);
                afterModel();
            });
            return b;
        }
        case ControlKind::Choice:
        case ControlKind::PickList: {
            auto* box = new QComboBox;
            box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            box->setMinimumContentsLength(c.kind == ControlKind::PickList ? 12 : 6);
            if (c.kind == ControlKind::PickList) box->setPlaceholderText("add...");
            connect(box, &QComboBox::activated, this, [this, name](int index) {
                model_.select(name, index);
                afterModel();
            });
            return box;
        }
        case ControlKind::List: {
            auto* list = new HostList;
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            connect(list, &QListWidget::currentRowChanged, this, [this, name](int row) {
                model_.select(name, row);
                afterModel();
            });
            return list;
        }
        case ControlKind::Radio: {
            auto* b = new QRadioButton(qs(name));
            connect(b, &QRadioButton::clicked, this, [this, name] { clicked(name); });
            return b;
        }
        case ControlKind::Button: {
            auto* b = new QPushButton(qs(c.text));
            b->setAutoDefault(false);
            if (name == ctl::kLogo) {
                b->setIcon(logoIcon());
                b->setIconSize(QSize(132, 36));
                b->setToolTip(kWebAddress);
                b->setFlat(true);
            }
            connect(b, &QPushButton::clicked, this, [this, name] { clicked(name); });
            return b;
        }
    }
    std::abort();
}

QLabel* TwntcfgDialog::label(const char* text, const char* buddy) {
    auto* l = new QLabel(text);
    if (buddy) {
        l->setBuddy(w(buddy));
        setNames(l, qs(buddy) + " label");
    } else {
        setNames(l, text);
    }
    labels_.emplace_back(l, text);
    return l;
}

QGroupBox* TwntcfgDialog::group(const char* title) {
    auto* g = new QGroupBox(title);
    setNames(g, title);
    return g;
}

// A host list: its label, the list, and below it the entry field with "Add"
// and "Del".
QWidget* TwntcfgDialog::hostList(const char* list, const char* entry, const char* add,
                                 const char* del) {
    auto* box = new QWidget;
    setNames(box, qs(list) + " group");
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(label(list, list));
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
    auto unit = [](const char* text, const char* of) {
        auto* l = new QLabel(text);
        setNames(l, qs(of) + " unit");
        return l;
    };
    auto fixed = [&](const char* name, int chars) {
        auto* e = static_cast<QLineEdit*>(w(name));
        e->setFixedWidth(widthForChars(e, chars));
        return e;
    };

    // ---- left: hosts; identity and log ----
    QGroupBox* hosts = group("Hosts");
    {
        auto* g = new QGridLayout(hosts);
        g->addWidget(
            hostList(ctl::kDisplayHosts, ctl::kDisplayEntry, ctl::kDisplayAdd, ctl::kDisplayDel), 0,
            0, 1, 4);
        g->addWidget(hostList(ctl::kPagerHosts, ctl::kPagerEntry, ctl::kPagerAdd, ctl::kPagerDel),
                     1, 0, 1, 4);
        g->setRowStretch(0, 1);
        g->setRowStretch(1, 1);
        g->addWidget(label(ctl::kIpPort, ctl::kIpPort), 2, 0);
        g->addWidget(fixed(ctl::kIpPort, 6), 2, 1);
        g->addWidget(label(ctl::kKeyCode, ctl::kKeyCode), 2, 2);
        g->addWidget(w(ctl::kKeyCode), 2, 3);
        g->addWidget(label(ctl::kPageLevels, ctl::kPageLevels), 3, 0);
        g->addWidget(w(ctl::kPageLevels), 3, 1, 1, 3);
        g->addWidget(w(ctl::kSendAlerts), 4, 0, 1, 4);
        g->setColumnStretch(3, 1);
    }
    QGroupBox* identity = group("Identity and log");
    {
        auto* g = form(identity);
        g->addWidget(label(ctl::kComputerName, ctl::kComputerName), 0, 0);
        g->addWidget(w(ctl::kComputerName), 0, 1, 1, 2);
        g->addWidget(label(ctl::kAlias, ctl::kAlias), 1, 0);
        g->addWidget(w(ctl::kAlias), 1, 1, 1, 2);
        g->addWidget(w(ctl::kFqdn), 2, 0, 1, 3);
        g->addWidget(w(ctl::kActivateLog), 3, 0, 1, 3);
        // The field as wide as the others above it (a folder path is long),
        // its browse button right under its end.
        g->addWidget(label(ctl::kLogLocation, ctl::kLogLocation), 4, 0);
        g->addWidget(w(ctl::kLogLocation), 4, 1, 1, 2);
        g->addWidget(w(ctl::kLogLocationBrowse), 5, 2, Qt::AlignRight);
    }

    // ---- middle: thresholds; externals and timers; service ----
    QGroupBox* thresholds = group("Thresholds");
    {
        auto* g = new QGridLayout(thresholds);
        auto* warning = label("Warning (%)", nullptr);
        auto* panic = label("Panic (%)", nullptr);
        g->addWidget(warning, 0, 1);
        g->addWidget(panic, 0, 2);
        const std::pair<const char*, std::pair<const char*, const char*>> rows[] = {
            {"CPU default", {ctl::kCpuWarning, ctl::kCpuPanic}},
            {"Drives default", {ctl::kDrivesWarning, ctl::kDrivesPanic}},
            {"Page File Usage", {ctl::kPageFileWarning, ctl::kPageFilePanic}},
            {"Physical Memory", {ctl::kPhysWarning, ctl::kPhysPanic}},
            {"Commit Charge", {ctl::kCommitWarning, ctl::kCommitPanic}},
        };
        int r = 1;
        for (const auto& [row, fields] : rows) {
            auto* l = new QLabel(row);
            setNames(l, row);
            l->setBuddy(w(fields.first));
            labels_.emplace_back(l, row);
            g->addWidget(l, r, 0);
            g->addWidget(w(fields.first), r, 1);
            g->addWidget(w(fields.second), r, 2);
            ++r;
        }
        g->setColumnStretch(3, 1);
        auto* more = new QGridLayout;
        more->addWidget(label(ctl::kRebootColor, ctl::kRebootColor), 0, 0);
        more->addWidget(w(ctl::kRebootColor), 0, 1);
        more->addWidget(label(ctl::kRebootMins, ctl::kRebootMins), 1, 0);
        more->addWidget(fixed(ctl::kRebootMins, 6), 1, 1);
        more->addWidget(unit("mins", ctl::kRebootMins), 1, 2);
        more->addWidget(label(ctl::kStartDelay, ctl::kStartDelay), 2, 0);
        more->addWidget(fixed(ctl::kStartDelay, 6), 2, 1);
        more->addWidget(unit("mins", ctl::kStartDelay), 2, 2);
        more->addWidget(label(ctl::kUpDays, ctl::kUpDays), 3, 0);
        more->addWidget(fixed(ctl::kUpDays, 6), 3, 1);
        more->addWidget(unit("days", ctl::kUpDays), 3, 2);
        more->addWidget(label(ctl::kUpDaysColor, ctl::kUpDaysColor), 4, 0);
        more->addWidget(w(ctl::kUpDaysColor), 4, 1);
        more->setColumnStretch(3, 1);
        g->addLayout(more, r, 0, 1, 4);
    }
    QGroupBox* externals = group("Externals and timers");
    {
        auto* g = form(externals);
        g->addWidget(label(ctl::kExternals, ctl::kExternals), 0, 0);
        g->addWidget(w(ctl::kExternals), 0, 1);
        g->addWidget(w(ctl::kAddExternal), 0, 2);
        auto* timers = new QHBoxLayout;
        timers->addWidget(label(ctl::kTimer, ctl::kTimer));
        timers->addWidget(fixed(ctl::kTimer, 7));
        timers->addWidget(unit("secs", ctl::kTimer));
        timers->addSpacing(16);
        timers->addWidget(label(ctl::kLogsTimer, ctl::kLogsTimer));
        timers->addWidget(fixed(ctl::kLogsTimer, 7));
        timers->addWidget(unit("secs", ctl::kLogsTimer));
        timers->addStretch(1);
        g->addLayout(timers, 1, 0, 1, 3);
    }
    QGroupBox* service = group("Service");
    {
        auto* h = new QHBoxLayout(service);
        auto* note = new QLabel("The agent reads its settings when it starts.");
        setNames(note, "Service note");
        note->setWordWrap(true);
        h->addWidget(w(ctl::kService));
        h->addWidget(note, 1);
    }

    // ---- right: tests and their lists ----
    QGroupBox* tests = group("Tests");
    {
        auto* g = form(tests);
        // Tab order: the choice, its modes, then the WMI tests.
        for (const char* c : {ctl::kSetTest, ctl::kPerform, ctl::kPerformTrend, ctl::kAlwaysGreen,
                              ctl::kDisable, ctl::kWmiTestConfig})
            w(c);
        auto* mode = new QHBoxLayout;
        mode->addWidget(label(ctl::kSetTest, ctl::kSetTest));
        mode->addWidget(w(ctl::kSetTest));
        mode->addWidget(label("as", nullptr));
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
            g->addWidget(label(field, field), r, 0);
            g->addWidget(fieldWithPicker(field, picker), r, 1);
            ++r;
        }
        g->addWidget(label(ctl::kMsgLevels, ctl::kMsgLevels), r, 0);
        g->addWidget(w(ctl::kMsgLevels), r, 1);
        ++r;
        g->addWidget(label(ctl::kIgnoreMsgs, ctl::kIgnoreMsgs), r, 0);
        g->addWidget(w(ctl::kIgnoreMsgs), r, 1);
        g->setRowStretch(r + 1, 1);
    }

    // ---- bottom: logo, LOAD, Save, Quit ----
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(w(ctl::kLogo));
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

// Buttons first, then the mode and check boxes, then the fields' labels:
// the letters go where they are used most.
void TwntcfgDialog::assignMnemonics() {
    for (const char* b : {ctl::kSave, ctl::kQuit, ctl::kLoad, ctl::kWmiTestConfig,
                          ctl::kAddExternal, ctl::kService, ctl::kLogLocationBrowse,
                          ctl::kDisplayAdd, ctl::kDisplayDel, ctl::kPagerAdd, ctl::kPagerDel})
        setCaption(static_cast<QAbstractButton*>(w(b)), qs(model_.text(b)), mnemonics_);
    for (const auto& c : model_.controls())
        if (c.kind == ControlKind::Radio || c.kind == ControlKind::CheckBox)
            setCaption(static_cast<QAbstractButton*>(w(c.name.c_str())), qs(c.name), mnemonics_);
    for (auto& [l, text] : labels_)
        if (l->buddy()) l->setText(mnemonics_.mark(text));
}

// ---- model to widgets ---------------------------------------------------------------

void TwntcfgDialog::refresh() {
    for (const auto& c : model_.controls()) {
        QWidget* wd = widgets_.at(c.name);
        const QSignalBlocker block(wd);
        wd->setEnabled(c.enabled);
        auto entriesChanged = [&] {
            auto& shown = shownEntries_[c.name];
            if (shown == c.entries) return false;
            shown = c.entries;
            return true;
        };
        switch (c.kind) {
            case ControlKind::Text:
            case ControlKind::Digits:
            case ControlKind::Percent: {
                auto* e = static_cast<QLineEdit*>(wd);
                if (e->text() != qs(c.text)) e->setText(qs(c.text));
                break;
            }
            case ControlKind::CheckBox:
                static_cast<QCheckBox*>(wd)->setChecked(c.checked);
                break;
            case ControlKind::Choice:
            case ControlKind::PickList: {
                auto* box = static_cast<QComboBox*>(wd);
                if (entriesChanged()) {
                    box->clear();
                    for (const auto& e : c.entries) box->addItem(qs(e));
                    // The drop-down shows whole entries however narrow the box.
                    auto* view = box->view();
                    view->setMinimumWidth(view->sizeHintForColumn(0) + 24);
                }
                box->setCurrentIndex(c.selected);
                break;
            }
            case ControlKind::List: {
                auto* list = static_cast<QListWidget*>(wd);
                if (entriesChanged()) {
                    list->clear();
                    for (const auto& e : c.entries) list->addItem(qs(e));
                }
                list->setCurrentRow(c.selected);
                break;
            }
            case ControlKind::Radio:
                if (c.checked) static_cast<QRadioButton*>(wd)->setChecked(true);
                break;
            case ControlKind::Button:
                // A caption can change (the service button says what a click does).
                if (!c.text.empty())
                    setCaption(static_cast<QAbstractButton*>(wd), qs(c.text), mnemonics_);
                break;
        }
    }
}

void TwntcfgDialog::afterModel() {
    refresh();
    if (model_.closed()) done(QDialog::Accepted);
}

void TwntcfgDialog::clicked(const std::string& name) {
    const std::optional<ViewStep> step = model_.click(name);
    afterModel();
    if (step == ViewStep::OpenWmiTestConfig) {
        WmiTestConfigDialog tests(model_, this);
        tests.exec();
        afterModel();
    }
}

// ---- keys, closing, focus -----------------------------------------------------------------

void TwntcfgDialog::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            e->accept();
            return;
        default:
            QDialog::keyPressEvent(e);
    }
}

void TwntcfgDialog::closeEvent(QCloseEvent* e) {
    if (!model_.closed()) {
        model_.click(ctl::kQuit);
        refresh();
    }
    if (!model_.closed()) {
        e->ignore();
        return;
    }
    e->accept();
    done(QDialog::Accepted);
}

bool TwntcfgDialog::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(e)->reason();
        // Focus that goes to another window (a message box) or a menu is not
        // leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            const std::string name = ss(watched->objectName());
            QTimer::singleShot(0, this, [this, name] {
                if (model_.closed()) return;
                model_.focusLost(name);
                refresh();
            });
        }
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace tw::editor::qt
