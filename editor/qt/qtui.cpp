#include "editor/qt/qtui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "editor/qt/remoteselectdialog.h"

namespace tw::editor::qt {

namespace {

QMessageBox::Icon iconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return QMessageBox::Critical;
        case MessageKind::Warning:
            return QMessageBox::Warning;
        case MessageKind::Information:
            break;
    }
    return QMessageBox::Information;
}

// The normal arrow over a message while the wait cursor is up, so that the
// person sees the box wants an answer.
class ArrowWhileAsking {
  public:
    explicit ArrowWhileAsking(bool waiting) : on_(waiting) {
        if (on_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (on_) QApplication::restoreOverrideCursor();
    }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

  private:
    bool on_;
};

void nameButtons(QMessageBox& box) {
    for (QAbstractButton* b : box.buttons()) setNames(b, b->text().remove('&'));
}

bool isLong(const QString& text) {
    return text.size() > kLongMessageChars || text.count('\n') > kLongMessageLines;
}

// A long text (a class's values, say) in a scrolling, selectable box.
void showLongText(const QString& text, const QString& caption) {
    QDialog box(frontWindow());
    box.setWindowTitle(caption);
    setNames(&box, caption);
    auto* layout = new QVBoxLayout(&box);
    auto* view = new QPlainTextEdit(text);
    setNames(view, "Message");
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    setNames(buttons->button(QDialogButtonBox::Ok), "OK");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    box.resize(720, 480);
    box.exec();
}

}  // namespace

void QtUi::messageBox(const std::string& text, const std::string& caption, MessageKind kind) {
    ArrowWhileAsking arrow(waiting());
    const QString t = qs(text);
    if (isLong(t)) {
        showLongText(t, qs(caption));
        return;
    }
    QMessageBox box(iconOf(kind), qs(caption), t, QMessageBox::Ok, frontWindow());
    setNames(&box, qs(caption));
    box.setTextFormat(Qt::PlainText);
    nameButtons(box);
    box.exec();
}

bool QtUi::askYesNo(const std::string& text, const std::string& caption) {
    ArrowWhileAsking arrow(waiting());
    QMessageBox box(QMessageBox::Question, qs(caption), qs(text),
                    QMessageBox::Yes | QMessageBox::No, frontWindow());
    setNames(&box, qs(caption));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    nameButtons(box);
    return box.exec() == QMessageBox::Yes;
}

void QtUi::beginWait() {
    if (waitDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::endWait() {
    if (waitDepth_ > 0 && --waitDepth_ == 0) QApplication::restoreOverrideCursor();
}

void QtUi::setFocus(const std::string& control) {
    const QString name = qs(control);
    QList<QWidget*> windows;
    if (QWidget* front = frontWindow()) windows << front;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !windows.contains(w)) windows << w;
    for (QWidget* window : windows) {
        if (auto* w = window->findChild<QWidget*>(name); w && w->isEnabled()) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

std::optional<std::string> QtUi::pickLocalFile() {
    const QString path = QFileDialog::getOpenFileName(frontWindow(), "Open");
    if (path.isEmpty()) return std::nullopt;
    return ss(path);
}

std::optional<std::string> QtUi::pickLocalFolder(const std::string& title) {
    const QString path = QFileDialog::getExistingDirectory(frontWindow(), qs(title));
    if (path.isEmpty()) return std::nullopt;
    return ss(path);
}

std::optional<std::string> QtUi::chooseFromList(const std::string& title,
                                                const std::vector<std::string>& names) {
    ArrowWhileAsking arrow(waiting());
    RemoteSelectDialog dlg(qs(title), names, frontWindow());
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.selectedName();
}

void QtUi::openWebAddress(const std::string& address) {
    QDesktopServices::openUrl(QUrl(qs(address)));
}

}  // namespace tw::editor::qt
