#include "editor/qt/remoteselectdialog.h"

#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "editor/form.h"
#include "editor/qt/viewkit.h"

namespace tw::editor::qt {

RemoteSelectDialog::RemoteSelectDialog(const QString& title, const std::vector<std::string>& names,
                                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    setNames(this, title);
    Mnemonics m;
    QStringList list;
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const auto& n : names) list << qs(n);
    model_ = new QStringListModel(list, this);
    list_ = new QListView;
    setNames(list_, "Names");
    // A remote machine may offer hundreds of thousands of names.
    list_->setUniformItemSizes(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setModel(model_);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* buttons = new QDialogButtonBox;
    ok_ = pushButton(kOkButton, kOkButton, m);
    auto* cancel = pushButton(kCancelButton, kCancelButton, m);
    ok_->setDefault(true);
    buttons->addButton(ok_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListView::doubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(560, 420);
}

std::optional<std::string> RemoteSelectDialog::selectedName() const {
    const QModelIndex i = list_->currentIndex();
    if (!i.isValid() || !list_->selectionModel()->isSelected(i)) return std::nullopt;
    return ss(model_->data(i).toString());
}

}  // namespace tw::editor::qt
