#include "editor/qt/wmitestdialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw::editor::qt {

namespace {

template <typename Dialog, typename Model>
std::unique_ptr<FormDialog> as(Form& form, QWidget* parent) {
    auto* model = dynamic_cast<Model*>(&form);
    return model ? std::make_unique<Dialog>(*model, parent) : nullptr;
}

// OK and Cancel at the bottom right, as the buttons of a button box.
QDialogButtonBox* okCancel(QWidget* ok, QWidget* cancel) {
    auto* box = new QDialogButtonBox;
    box->addButton(static_cast<QPushButton*>(ok), QDialogButtonBox::AcceptRole);
    box->addButton(static_cast<QPushButton*>(cancel), QDialogButtonBox::RejectRole);
    return box;
}

}  // namespace

std::unique_ptr<FormDialog> dialogFor(Form& form, QWidget* parent) {
    for (auto make : {as<WmiTestConfigDialog, WMITestConfig>, as<AddWmiTestDialog, AddWMITest>,
                      as<NumThresholdDialog, WMINumThreshold>,
                      as<StrThresholdDialog, WMIStrThreshold>, as<WmiBrowserDialog, WMIBrowser>})
        if (auto d = make(form, parent)) return d;
    return nullptr;
}

// ---- WMI Test Configuration ------------------------------------------------------------

WmiTestConfigDialog::WmiTestConfigDialog(WMITestConfig& model, QWidget* parent)
    : FormDialog(model, parent) {
    using M = WMITestConfig;
    auto* buttons = new QHBoxLayout;
    for (const char* b : {M::kAdd, M::kEdit, M::kDelete}) buttons->addWidget(w(b));
    buttons->addStretch(1);
    buttons->addWidget(w(M::kSave));
    buttons->addWidget(w(M::kQuit));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(w(M::kList), 1);
    layout->addLayout(buttons);
    resize(980, 420);
    finish();
}

// ---- New WMI Test ---------------------------------------------------------------------------

AddWmiTestDialog::AddWmiTestDialog(AddWMITest& model, QWidget* parent) : FormDialog(model, parent) {
    using M = AddWMITest;
    static_cast<QComboBox*>(w(M::kQueryField))->setMinimumContentsLength(48);
    auto* form = new QGridLayout;
    auto row = [&, r = 0](const char* field, QWidget* extra = nullptr,
                          QWidget* shown = nullptr) mutable {
        // The multi-line field's label stays at its top.
        const auto align = field == std::string(M::kPageFormat) ? Qt::AlignTop : Qt::AlignVCenter;
        form->addWidget(label(labelOf(field)), r, 0, align);
        form->addWidget(shown ? shown : w(field), r, 1, 1, extra ? 1 : 2);
        if (extra) form->addWidget(extra, r, 2);
        ++r;
    };
    auto* typeRow = new QWidget;
    setNames(typeRow, "Data Type row");
    auto* typeLayout = new QHBoxLayout(typeRow);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    row(M::kName);
    typeLayout->addWidget(w(M::kType));
    typeLayout->addSpacing(12);
    typeLayout->addWidget(w(M::kTrend));
    typeLayout->addStretch(1);
    row(M::kType, nullptr, typeRow);
    row(M::kQueryField, w(M::kBrowser));
    row(M::kThreshold, w(M::kShowClass));
    row(M::kPageFormat);
    form->setColumnStretch(1, 1);
    form->setRowStretch(4, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(w(M::kTestQuery));
    bottom->addStretch(1);
    bottom->addWidget(okCancel(w(kOkButton), w(kCancelButton)));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(bottom);
    resize(760, 420);
    finish();
}

// ---- Numerical Threshold ---------------------------------------------------------------------

NumThresholdDialog::NumThresholdDialog(WMINumThreshold& model, QWidget* parent)
    : FormDialog(model, parent) {
    using M = WMINumThreshold;
    auto* g = new QGridLayout;
    auto field = [&](const char* name, int r, int c) {
        g->addWidget(label(labelOf(name)), r, c);
        g->addWidget(w(name), r, c + 1);
    };
    field(M::kWarning, 0, 0);
    field(M::kPanic, 0, 2);
    g->addWidget(w(M::kOr), 1, 0, 1, 4);
    field(M::kPanicMin, 2, 0);
    field(M::kWarningMin, 2, 2);
    field(M::kWarningMax, 3, 0);
    field(M::kPanicMax, 3, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g);
    layout->addStretch(1);
    layout->addWidget(okCancel(w(kOkButton), w(kCancelButton)));
    finish();
}

// ---- String Threshold ------------------------------------------------------------------------

StrThresholdDialog::StrThresholdDialog(WMIStrThreshold& model, QWidget* parent)
    : FormDialog(model, parent) {
    using M = WMIStrThreshold;
    auto* form = new QGridLayout;
    int r = 0;
    for (const char* field : {M::kWarning, M::kPanic}) {
        form->addWidget(label(labelOf(field)), r, 0);
        form->addWidget(w(field), r++, 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(label(M::kHint));
    layout->addStretch(1);
    layout->addWidget(okCancel(w(kOkButton), w(kCancelButton)));
    resize(460, sizeHint().height());
    finish();
}

// ---- WMI Win32 Class Browser -----------------------------------------------------------------

WmiBrowserDialog::WmiBrowserDialog(WMIBrowser& model, QWidget* parent) : FormDialog(model, parent) {
    using M = WMIBrowser;
    auto* g = new QGridLayout;
    g->addWidget(label(labelOf(M::kClasses)), 0, 0);
    g->addWidget(label(labelOf(M::kProperties)), 0, 1);
    g->addWidget(w(M::kClasses), 1, 0);
    g->addWidget(w(M::kProperties), 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g, 1);
    layout->addWidget(label(M::kQuery));
    layout->addWidget(okCancel(w(kOkButton), w(kCancelButton)));
    resize(640, 460);
    finish();
}

}  // namespace tw::editor::qt
