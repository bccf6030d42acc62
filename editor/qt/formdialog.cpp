#include "editor/qt/formdialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>

namespace tw::editor::qt {

namespace {

// A list a few entries high: the lists grow with the window.
class ListBox : public QListWidget {
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

// The form keeps CR LF line breaks; the text field shows plain ones.
QString fromCrLf(const std::string& text) {
    return qs(text).replace("\r\n", "\n");
}
std::string toCrLf(const QString& text) {
    return ss(QString(text).replace("\r\n", "\n").replace('\n', "\r\n"));
}

bool isLineEdit(ControlKind k) {
    return k == ControlKind::Text || k == ControlKind::Digits || k == ControlKind::Percent ||
           k == ControlKind::DialogField;
}

}  // namespace

FormDialog::FormDialog(Form& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowTitle(qs(form.caption()));
    setNames(this, qs(form.caption()));
}

QWidget* FormDialog::control(const std::string& name) const {
    auto it = widgets_.find(std::string(form_.canonical(name)));
    return it == widgets_.end() ? nullptr : it->second;
}

// ---- widgets -------------------------------------------------------------------

QWidget* FormDialog::w(const std::string& name) {
    auto it = widgets_.find(name);
    if (it != widgets_.end()) return it->second;
    const Control* c = form_.control(name);
    if (!c) std::abort();
    QWidget* made = make(*c);
    setNames(made, qs(c->name));
    widgets_[c->name] = made;
    return made;
}

QLabel* FormDialog::label(const std::string& name) {
    auto* l = static_cast<QLabel*>(w(name));
    const std::string& buddy = form_.control(name)->buddy;
    if (!buddy.empty()) l->setBuddy(w(buddy));
    return l;
}

QGroupBox* FormDialog::group(const std::string& name) {
    if (!form_.control(name) || widgets_.count(name)) std::abort();
    auto* g = new QGroupBox(qs(form_.text(name)));
    setNames(g, qs(name));
    widgets_[name] = g;
    return g;
}

QWidget* FormDialog::make(const Control& c) {
    const std::string name = c.name;
    auto edited = [this, name](auto* field, const QString& text, auto show) {
        if (!form_.setText(name, ss(text))) {
            const QSignalBlocker block(field);
            show(field);
        }
        after(std::nullopt);
    };
    switch (c.kind) {
        case ControlKind::Text:
        case ControlKind::Digits:
        case ControlKind::Percent:
        case ControlKind::DialogField: {
            auto* e = new QLineEdit;
            if (c.limit) e->setMaxLength(static_cast<int>(c.limit));
            if (c.kind == ControlKind::Digits || c.kind == ControlKind::Percent) digitsOnly(e);
            if (c.kind == ControlKind::Percent) e->setFixedWidth(widthForChars(e, 4));
            // The dialog that fills the field is its only way in.
            e->setReadOnly(c.kind == ControlKind::DialogField);
            connect(e, &QLineEdit::textEdited, this, [this, e, name, edited](const QString& t) {
                edited(e, t, [this, name](QLineEdit* f) { f->setText(qs(form_.text(name))); });
            });
            e->installEventFilter(this);
            return e;
        }
        case ControlKind::MultiLine: {
            auto* e = new QPlainTextEdit;
            e->setTabChangesFocus(true);
            e->setLineWrapMode(QPlainTextEdit::NoWrap);
            connect(e, &QPlainTextEdit::textChanged, this, [this, e, name, edited] {
                edited(e, qs(toCrLf(e->toPlainText())), [this, name](QPlainTextEdit* f) {
                    f->setPlainText(fromCrLf(form_.text(name)));
                });
            });
            return e;
        }
        case ControlKind::CheckBox: {
            auto* b = new QCheckBox;
            connect(b, &QCheckBox::clicked, this, [this, name](bool on) {
                form_.setChecked(name, on);
                after(std::nullopt);
            });
            return b;
        }
        case ControlKind::Choice:
        case ControlKind::PickList:
        case ControlKind::EditChoice: {
            auto* box = new QComboBox;
            box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            box->setMinimumContentsLength(c.kind == ControlKind::PickList ? 12 : 6);
            if (c.kind == ControlKind::PickList) box->setPlaceholderText("add...");
            if (c.kind == ControlKind::EditChoice) {
                box->setEditable(true);
                box->setInsertPolicy(QComboBox::NoInsert);
                setNames(box->lineEdit(), qs(name + " entry"));
                // Enter in the text takes no entry of the list.
                box->lineEdit()->installEventFilter(this);
                connect(box, &QComboBox::editTextChanged, this,
                        [this, name](const QString& t) { form_.setText(name, ss(t)); });
            }
            connect(box, &QComboBox::activated, this, [this, name](int index) {
                form_.select(name, index);
                after(std::nullopt);
            });
            return box;
        }
        case ControlKind::List: {
            auto* list = new ListBox;
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            connect(list, &QListWidget::currentRowChanged, this, [this, name](int row) {
                form_.select(name, row);
                after(std::nullopt);
            });
            connect(list, &QListWidget::itemDoubleClicked, this, [this, name] { clicked(name); });
            return list;
        }
        case ControlKind::Table: {
            auto* table = new QTreeWidget;
            QStringList headings;
            for (const auto& h : c.entries) headings << qs(h);
            table->setHeaderLabels(headings);
            table->setRootIsDecorated(false);
            table->setUniformRowHeights(true);
            table->setSelectionMode(QAbstractItemView::SingleSelection);
            table->setAllColumnsShowFocus(true);
            table->header()->setStretchLastSection(true);
            connect(table, &QTreeWidget::itemSelectionChanged, this, [this, table, name] {
                const auto chosen = table->selectedItems();
                form_.select(name,
                             chosen.isEmpty() ? -1 : table->indexOfTopLevelItem(chosen.front()));
                after(std::nullopt);
            });
            connect(table, &QTreeWidget::itemDoubleClicked, this, [this, name] { clicked(name); });
            return table;
        }
        case ControlKind::Radio: {
            auto* b = new QRadioButton;
            connect(b, &QRadioButton::clicked, this, [this, name] { clicked(name); });
            return b;
        }
        case ControlKind::Button: {
            auto* b = new QPushButton(qs(c.text));
            // Enter presses "OK" only.
            b->setAutoDefault(name == kOkButton);
            b->setDefault(name == kOkButton);
            connect(b, &QPushButton::clicked, this, [this, name] { clicked(name); });
            return b;
        }
        case ControlKind::Label:
            return new QLabel(qs(c.text));
    }
    std::abort();
}

void FormDialog::finish(std::initializer_list<const char*> first) {
    for (const auto& c : form_.controls())
        if (!widgets_.count(c.name)) std::abort();
    auto caption = [&](const Control& c) {
        if (!c.text.empty())
            setCaption(static_cast<QAbstractButton*>(widgets_.at(c.name)), qs(c.text), mnemonics_);
    };
    for (const char* name : first) caption(*form_.control(name));
    for (ControlKind kind : {ControlKind::Button, ControlKind::Radio, ControlKind::CheckBox})
        for (const auto& c : form_.controls())
            if (c.kind == kind) caption(c);
    for (const auto& c : form_.controls()) {
        auto* l = qobject_cast<QLabel*>(widgets_.at(c.name));
        if (l && l->buddy()) l->setText(mnemonics_.mark(qs(c.text)));
    }
    refresh();
}

// ---- form to widgets ---------------------------------------------------------------

void FormDialog::refresh() {
    for (const auto& c : form_.controls()) {
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
            case ControlKind::Percent:
            case ControlKind::DialogField: {
                auto* e = static_cast<QLineEdit*>(wd);
                if (e->text() != qs(c.text)) e->setText(qs(c.text));
                break;
            }
            case ControlKind::MultiLine: {
                auto* e = static_cast<QPlainTextEdit*>(wd);
                if (toCrLf(e->toPlainText()) != c.text) e->setPlainText(fromCrLf(c.text));
                break;
            }
            case ControlKind::CheckBox:
                static_cast<QCheckBox*>(wd)->setChecked(c.checked);
                break;
            case ControlKind::Choice:
            case ControlKind::PickList:
            case ControlKind::EditChoice: {
                auto* box = static_cast<QComboBox*>(wd);
                if (entriesChanged()) {
                    box->clear();
                    for (const auto& e : c.entries) box->addItem(qs(e));
                    // The drop-down shows whole entries however narrow the box.
                    auto* view = box->view();
                    view->setMinimumWidth(view->sizeHintForColumn(0) + 24);
                }
                if (c.kind != ControlKind::EditChoice)
                    box->setCurrentIndex(c.selected);
                else if (box->currentText() != qs(c.text))
                    box->setEditText(qs(c.text));
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
            case ControlKind::Table: {
                auto* table = static_cast<QTreeWidget*>(wd);
                auto& shown = shownRows_[c.name];
                if (shown != c.rows) {
                    shown = c.rows;
                    table->clear();
                    for (const auto& row : c.rows) {
                        QStringList cells;
                        for (const auto& cell : row) cells << qs(cell);
                        table->addTopLevelItem(new QTreeWidgetItem(cells));
                    }
                    for (int i = 0; i + 1 < table->columnCount(); ++i)
                        table->resizeColumnToContents(i);
                }
                table->clearSelection();
                if (c.selected >= 0 && c.selected < table->topLevelItemCount())
                    table->topLevelItem(c.selected)->setSelected(true);
                break;
            }
            case ControlKind::Radio:
                if (c.checked) static_cast<QRadioButton*>(wd)->setChecked(true);
                [[fallthrough]];
            case ControlKind::Button:
                // A caption can change (the service button says what a click does).
                if (!c.text.empty())
                    setCaption(static_cast<QAbstractButton*>(wd), qs(c.text), mnemonics_);
                break;
            case ControlKind::Label:
                if (auto* g = qobject_cast<QGroupBox*>(wd)) {
                    if (g->title() != qs(c.text)) g->setTitle(qs(c.text));
                } else if (auto* l = static_cast<QLabel*>(wd); !l->buddy()) {
                    // A field's label keeps its mnemonic.
                    if (l->text() != qs(c.text)) l->setText(qs(c.text));
                }
                break;
        }
    }
}

void FormDialog::clicked(const std::string& name) {
    after(form_.click(name));
}

void FormDialog::after(std::optional<ViewStep> step) {
    refresh();
    switch (step.value_or(ViewStep::None)) {
        case ViewStep::None:
            break;
        case ViewStep::OpenDialog:
            if (Form* sub = form_.sub()) {
                if (auto d = dialogFor(*sub, this)) d->exec();
                form_.closeSub();
                refresh();
            }
            break;
        case ViewStep::CloseOk:
        case ViewStep::CloseCancel:
            closing_ = true;
            done(step == ViewStep::CloseOk ? QDialog::Accepted : QDialog::Rejected);
            break;
    }
}

// ---- keys, closing, focus -----------------------------------------------------------------

void FormDialog::reject() {
    if (!closing_) after(form_.escape());
}

void FormDialog::closeEvent(QCloseEvent* e) {
    if (!closing_) after(form_.closeBox());
    if (!closing_) {
        e->ignore();
        return;
    }
    e->accept();
}

bool FormDialog::eventFilter(QObject* watched, QEvent* e) {
    const std::string name = ss(watched->objectName());
    const Control* c = form_.control(name);
    if (e->type() == QEvent::KeyPress && !c) {
        // The text of an editable choice: Enter takes no entry of the list.
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    if (c && c->kind == ControlKind::DialogField && e->type() == QEvent::FocusIn && !opening_ &&
        static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason) {
        // However the field gets the focus (a click, Tab, the window coming
        // to the front with it), its dialog opens; the form moves the focus
        // on first, so the field never keeps it.
        opening_ = true;
        QTimer::singleShot(0, this, [this, name] {
            clicked(name);
            opening_ = false;
        });
    }
    if (c && isLineEdit(c->kind) && e->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(e)->reason();
        // Focus that goes to another window (a message box) or a menu is not
        // leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            QTimer::singleShot(0, this, [this, name] {
                if (closing_) return;
                form_.focusLost(name);
                refresh();
            });
        }
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace tw::editor::qt
