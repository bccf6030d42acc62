#include "editor/qt/wmitestdialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tw::editor::qt {

namespace {

template <class W>
W* named(W* w, const QString& name) {
    setNames(w, name);
    return w;
}

QLineEdit* lineEdit(const QString& name) {
    return named(new QLineEdit, name);
}

void showText(QLineEdit* e, const std::string& text) {
    if (e->text() != qs(text)) e->setText(qs(text));
}

// Page formats keep CR LF line breaks; the text field shows plain ones.
QString fromCrLf(const std::string& text) {
    return qs(text).replace("\r\n", "\n");
}
std::string toCrLf(const QString& text) {
    return ss(QString(text).replace("\r\n", "\n").replace('\n', "\r\n"));
}

// OK and Cancel at the bottom right.
QDialogButtonBox* okCancel(QDialog* d, Mnemonics& m) {
    auto* box = new QDialogButtonBox;
    QPushButton* ok = pushButton("OK", "OK", m);
    ok->setAutoDefault(true);
    ok->setDefault(true);
    box->addButton(ok, QDialogButtonBox::AcceptRole);
    box->addButton(pushButton("Cancel", "Cancel", m), QDialogButtonBox::RejectRole);
    QObject::connect(box, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return box;
}

void titled(QDialog* d, const char* caption) {
    d->setWindowTitle(caption);
    setNames(d, caption);
}

}  // namespace

// ---- WMI Test Configuration ------------------------------------------------------------

WmiTestConfigDialog::WmiTestConfigDialog(CtwntcfgDlg& dlg, QWidget* parent)
    : QDialog(parent), model_(dlg), ui_(dlg.ui()) {
    titled(this, WMITestConfig::kCaption);
    Mnemonics m;
    list_ = named(new QTreeWidget, "WMI Test List");
    QStringList headers;
    for (const char* c : kWmiTestColumns) headers << c;
    list_->setHeaderLabels(headers);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAllColumnsShowFocus(true);
    list_->header()->setStretchLastSection(true);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const auto chosen = list_->selectedItems();
        model_.selected = chosen.isEmpty() ? -1 : list_->indexOfTopLevelItem(chosen.front());
    });
    auto* add = pushButton("Add", "Add", m);
    auto* editButton = pushButton("Edit", "Edit", m);
    auto* del = pushButton("Delete", "Delete", m);
    save_ = pushButton("Save", "Save", m);
    auto* quit = pushButton("Quit", "Quit", m);
    connect(add, &QPushButton::clicked, this, [this] { edit(model_.add()); });
    connect(editButton, &QPushButton::clicked, this, [this] {
        if (auto t = model_.edit()) edit(std::move(*t));
        refresh();
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, editButton, &QPushButton::click);
    connect(del, &QPushButton::clicked, this, [this] {
        model_.remove();
        refresh();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        model_.save();
        refresh();
    });
    connect(quit, &QPushButton::clicked, this, &WmiTestConfigDialog::reject);
    auto* buttons = new QHBoxLayout;
    for (auto* b : {add, editButton, del}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(quit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(980, 420);
    refresh();
}

void WmiTestConfigDialog::edit(AddWMITest t) {
    refresh();
    AddWmiTestDialog d(t, ui_, this);
    d.exec();
    refresh();
}

void WmiTestConfigDialog::refresh() {
    const QSignalBlocker block(list_);
    list_->clear();
    for (const WmiTestRow& r : model_.rows) {
        const std::string* cols[] = {&r.name,  &r.type,  &r.threshold,
                                     &r.trend, &r.query, &r.pageformat};
        QStringList texts;
        for (const std::string* c : cols) texts << qs(*c);
        list_->addTopLevelItem(new QTreeWidgetItem(texts));
    }
    if (model_.selected >= 0 && model_.selected < list_->topLevelItemCount())
        list_->topLevelItem(model_.selected)->setSelected(true);
    for (int c = 0; c < 5; ++c) list_->resizeColumnToContents(c);
    save_->setEnabled(model_.saveEnabled);
}

void WmiTestConfigDialog::reject() {
    if (model_.quit()) QDialog::reject();
}

// ---- New WMI Test ---------------------------------------------------------------------------

AddWmiTestDialog::AddWmiTestDialog(AddWMITest& model, UiPort& ui, QWidget* parent)
    : QDialog(parent), model_(model), ui_(ui) {
    titled(this, AddWMITest::kCaption);
    Mnemonics m;
    name_ = lineEdit("TW Test Name");
    type_ = named(new QComboBox, "Data Type");
    for (const char* t : AddWMITest::kDataTypes) type_->addItem(t);
    query_ = named(new QComboBox, "WMI Query");
    query_->setEditable(true);
    query_->setInsertPolicy(QComboBox::NoInsert);
    query_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    query_->setMinimumContentsLength(48);
    setNames(query_->lineEdit(), "WMI Query entry");
    for (const auto& q : model_.queryChoices) query_->addItem(qs(q));
    threshold_ = lineEdit("Threshold");
    threshold_->setReadOnly(true);
    threshold_->setToolTip("Opens the threshold dialog of the data type");
    trend_ = named(new QCheckBox, "Trend");
    pageformat_ = named(new QPlainTextEdit, "TW Page Format");
    pageformat_->setTabChangesFocus(true);
    pageformat_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* testQuery = pushButton("Test Query", "Test Query", m);
    auto* browser = pushButton("Browser", "Browser", m);
    auto* showClass = pushButton("Show Class", "Show Class", m);
    QDialogButtonBox* okBox = okCancel(this, m);
    trend_->setText(m.mark("Trend"));

    auto* form = new QGridLayout;
    auto row = [&, r = 0](const char* text, QWidget* field, QWidget* extra = nullptr,
                          QWidget* shown = nullptr) mutable {
        // The multi-line field's label stays at its top.
        const auto align = field == pageformat_ ? Qt::AlignTop : Qt::AlignVCenter;
        form->addWidget(fieldLabel(text, field, m), r, 0, align);
        form->addWidget(shown ? shown : field, r, 1, 1, extra ? 1 : 2);
        if (extra) form->addWidget(extra, r, 2);
        ++r;
    };
    auto* typeRow = named(new QWidget, "Data Type row");
    auto* typeLayout = new QHBoxLayout(typeRow);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    typeLayout->addWidget(type_);
    typeLayout->addSpacing(12);
    typeLayout->addWidget(trend_);
    typeLayout->addStretch(1);
    row("TW Test Name", name_);
    row("Data Type", type_, nullptr, typeRow);
    row("WMI Query", query_, browser);
    row("Threshold", threshold_, showClass);
    row("TW Page Format", pageformat_);
    form->setColumnStretch(1, 1);
    form->setRowStretch(4, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(testQuery);
    bottom->addStretch(1);
    bottom->addWidget(okBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(bottom);
    resize(760, 420);
    QWidget* order[] = {name_,
                        type_,
                        trend_,
                        query_,
                        browser,
                        threshold_,
                        showClass,
                        pageformat_,
                        testQuery,
                        okBox->buttons().value(0),
                        okBox->buttons().value(1)};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(name_, &QLineEdit::textEdited, this, [this](const QString& t) { model_.name = ss(t); });
    connect(type_, &QComboBox::activated, this, [this](int) {
        model_.setType(ss(type_->currentText()));
        refresh();
    });
    connect(query_, &QComboBox::editTextChanged, this,
            [this](const QString& t) { model_.query = ss(t); });
    connect(query_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(model_.queryChoices.size())) return;
        model_.chooseQuery(model_.queryChoices[static_cast<size_t>(index)]);
        refresh();
    });
    // Enter in the query's field takes no entry of the list.
    query_->lineEdit()->installEventFilter(this);
    connect(trend_, &QCheckBox::clicked, this, [this](bool on) { model_.trend = on; });
    connect(pageformat_, &QPlainTextEdit::textChanged, this,
            [this] { model_.pageformat = toCrLf(pageformat_->toPlainText()); });
    threshold_->installEventFilter(this);
    connect(testQuery, &QPushButton::clicked, this, [this] { model_.testQuery(); });
    connect(browser, &QPushButton::clicked, this, [this] {
        WMIBrowser b = model_.browser();
        WmiBrowserDialog d(b, this);
        if (d.exec() == QDialog::Accepted) b.ok();
        refresh();
    });
    connect(showClass, &QPushButton::clicked, this, [this] { model_.showClass(); });
    connect(okBox, &QDialogButtonBox::accepted, this, [this] {
        if (model_.ok()) QDialog::accept();
    });
    refresh();
}

void AddWmiTestDialog::refresh() {
    const QSignalBlocker b1(name_), b2(type_), b3(query_), b4(trend_), b5(pageformat_);
    showText(name_, model_.name);
    type_->setCurrentIndex(type_->findText(qs(model_.type)));
    if (query_->currentText() != qs(model_.query)) query_->setEditText(qs(model_.query));
    showText(threshold_, model_.threshold);
    trend_->setEnabled(model_.trendEnabled);
    trend_->setChecked(model_.trend);
    if (toCrLf(pageformat_->toPlainText()) != model_.pageformat)
        pageformat_->setPlainText(fromCrLf(model_.pageformat));
}

void AddWmiTestDialog::reject() {
    model_.cancel();
    QDialog::reject();
}

bool AddWmiTestDialog::eventFilter(QObject* watched, QEvent* e) {
    if (watched == query_->lineEdit() && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    // However the field gets the focus (a click, Tab, the window coming to
    // the front with it), the threshold dialog opens; the model moves the
    // focus on first, so the field never keeps it.
    if (watched == threshold_ && e->type() == QEvent::FocusIn && !thresholdBusy_ &&
        static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason) {
        thresholdBusy_ = true;
        QTimer::singleShot(0, this, [this] {
            thresholdFocused();
            thresholdBusy_ = false;
        });
    }
    return QDialog::eventFilter(watched, e);
}

void AddWmiTestDialog::thresholdFocused() {
    switch (model_.thresholdFocused()) {
        case AddWMITest::ThresholdDialog::None:
            break;
        case AddWMITest::ThresholdDialog::Numerical: {
            WMINumThreshold n(model_.threshold, ui_);
            NumThresholdDialog(n, this).exec();
            break;
        }
        case AddWMITest::ThresholdDialog::String: {
            WMIStrThreshold s(model_.threshold, ui_);
            StrThresholdDialog(s, this).exec();
            break;
        }
    }
    refresh();
}

// ---- Numerical Threshold ---------------------------------------------------------------------

NumThresholdDialog::NumThresholdDialog(WMINumThreshold& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    titled(this, WMINumThreshold::kCaption);
    Mnemonics m;
    std::string* texts[6] = {&model_.warning,    &model_.panic,      &model_.panicMin,
                             &model_.warningMin, &model_.warningMax, &model_.panicMax};
    const char* names[6] = {"Warning",           "Panic",
                            "Panic Min Value",   "Warning Min Value",
                            "Warning Max Value", "Panic Max Value"};
    QDialogButtonBox* box = okCancel(this, m);
    or_ = named(new QCheckBox(m.mark("or")), "or");
    for (int i = 0; i < 6; ++i) {
        fields_[i] = lineEdit(names[i]);
        fields_[i]->setText(qs(*texts[i]));
        std::string* text = texts[i];
        connect(fields_[i], &QLineEdit::textEdited, this,
                [text](const QString& t) { *text = ss(t); });
    }
    auto* g = new QGridLayout;
    g->addWidget(fieldLabel("Warning", fields_[0], m), 0, 0);
    g->addWidget(fields_[0], 0, 1);
    g->addWidget(fieldLabel("Panic", fields_[1], m), 0, 2);
    g->addWidget(fields_[1], 0, 3);
    g->addWidget(or_, 1, 0, 1, 4);
    for (int i = 2; i < 6; ++i) {
        const int r = 2 + (i - 2) / 2, c = (i - 2) % 2 * 2;
        g->addWidget(fieldLabel(names[i], fields_[i], m), r, c);
        g->addWidget(fields_[i], r, c + 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g);
    layout->addStretch(1);
    layout->addWidget(box);
    connect(or_, &QCheckBox::clicked, this, [this](bool on) {
        model_.setOr(on);
        refresh();
    });
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (model_.ok()) accept();
    });
    refresh();
}

void NumThresholdDialog::refresh() {
    or_->setChecked(model_.orSet);
    for (int i = 0; i < 2; ++i) fields_[i]->setEnabled(model_.warningPanicEnabled());
    for (int i = 2; i < 6; ++i) fields_[i]->setEnabled(model_.rangeFieldsEnabled());
}

// ---- String Threshold ------------------------------------------------------------------------

StrThresholdDialog::StrThresholdDialog(WMIStrThreshold& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    titled(this, WMIStrThreshold::kCaption);
    Mnemonics m;
    QDialogButtonBox* box = okCancel(this, m);
    auto* warning = lineEdit("Warning String(s)");
    auto* panic = lineEdit("Panic String(s)");
    warning->setText(qs(model_.warning));
    panic->setText(qs(model_.panic));
    connect(warning, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.warning = ss(t); });
    connect(panic, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.panic = ss(t); });
    auto* form = new QFormLayout;
    form->addRow(fieldLabel("Warning String(s)", warning, m), warning);
    form->addRow(fieldLabel("Panic String(s)", panic, m), panic);
    auto* hint = named(new QLabel(WMIStrThreshold::kHint), WMIStrThreshold::kHint);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addStretch(1);
    layout->addWidget(box);
    resize(460, sizeHint().height());
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (model_.ok()) accept();
    });
}

// ---- WMI Win32 Class Browser -----------------------------------------------------------------

WmiBrowserDialog::WmiBrowserDialog(WMIBrowser& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    titled(this, WMIBrowser::kCaption);
    Mnemonics m;
    QDialogButtonBox* box = okCancel(this, m);
    classes_ = named(new QListWidget, "WMI Class Name");
    properties_ = named(new QListWidget, "WMI Class Property");
    for (auto* l : {classes_, properties_}) {
        l->setUniformItemSizes(true);
        l->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    for (const auto& c : model_.classes) classes_->addItem(qs(c));
    auto* g = new QGridLayout;
    g->addWidget(fieldLabel("WMI Class Name", classes_, m), 0, 0);
    g->addWidget(fieldLabel("WMI Class Property", properties_, m), 0, 1);
    g->addWidget(classes_, 1, 0);
    g->addWidget(properties_, 1, 1);
    query_ = named(new QLabel, "Query");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g, 1);
    layout->addWidget(query_);
    layout->addWidget(box);
    resize(640, 460);
    connect(classes_, &QListWidget::currentRowChanged, this, [this](int row) {
        model_.selectClass(row);
        refresh();
    });
    connect(properties_, &QListWidget::currentRowChanged, this, [this](int row) {
        model_.selectProperty(row);
        refresh();
    });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    refresh();
}

void WmiBrowserDialog::refresh() {
    const QSignalBlocker b1(classes_), b2(properties_);
    classes_->setCurrentRow(model_.selectedClass);
    // Every class change refills the list: two classes may well share the
    // number of properties and the first name.
    if (propertiesOf_ != model_.selectedClass ||
        properties_->count() != static_cast<int>(model_.properties.size())) {
        propertiesOf_ = model_.selectedClass;
        properties_->clear();
        for (const auto& p : model_.properties) properties_->addItem(qs(p));
    }
    properties_->setCurrentRow(model_.selectedProperty);
    // The query the choice makes.
    query_->setText(qs(model_.queryText()));
}

}  // namespace tw::editor::qt
