#include "editor/qt/viewkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVariant>

namespace tw::editor::qt {

namespace {
constexpr const char* kLetterProperty = "twMnemonic";
}

void setNames(QWidget* w, const QString& name) {
    w->setObjectName(name);
    w->setAccessibleName(name);
}

QWidget* frontWindow() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

QString Mnemonics::mark(const QString& text) {
    auto take = [&](qsizetype i) {
        used_.insert(text[i].toLower());
        QString out = text;
        out.insert(i, '&');
        return out;
    };
    auto free = [&](qsizetype i) {
        return text[i].isLetterOrNumber() && !used_.contains(text[i].toLower());
    };
    for (qsizetype i = 0; i < text.size(); ++i)
        if ((i == 0 || !text[i - 1].isLetterOrNumber()) && free(i)) return take(i);
    for (qsizetype i = 0; i < text.size(); ++i)
        if (free(i)) return take(i);
    return text;
}

QString markLetter(const QString& caption, QChar letter) {
    if (letter.isNull()) return caption;
    const qsizetype at = caption.indexOf(letter, 0, Qt::CaseInsensitive);
    if (at < 0) return caption;
    QString out = caption;
    out.insert(at, '&');
    return out;
}

void setCaption(QAbstractButton* b, const QString& caption, Mnemonics& m) {
    QVariant letter = b->property(kLetterProperty);
    if (!letter.isValid()) {
        const QString marked = m.mark(caption);
        const qsizetype amp = marked.indexOf('&');
        b->setProperty(kLetterProperty, amp >= 0 ? marked[amp + 1] : QChar());
        b->setText(marked);
        return;
    }
    const QString marked = markLetter(caption, letter.value<QChar>());
    if (b->text() != marked) b->setText(marked);
}

QPushButton* pushButton(const QString& name, const QString& text, Mnemonics& m, QWidget* parent) {
    auto* b = new QPushButton(parent);
    setNames(b, name);
    setCaption(b, text, m);
    b->setAutoDefault(false);
    return b;
}

QLabel* fieldLabel(const QString& text, QWidget* buddy, Mnemonics& m) {
    auto* l = new QLabel(m.mark(text));
    setNames(l, buddy->objectName() + " label");
    l->setBuddy(buddy);
    return l;
}

void digitsOnly(QLineEdit* e) {
    static const QRegularExpression digits("[0-9]*");
    e->setValidator(new QRegularExpressionValidator(digits, e));
}

int widthForChars(QLineEdit* e, int n) {
    QStyleOptionFrame opt;
    opt.initFrom(e);
    const QSize text(e->fontMetrics().horizontalAdvance(QString(n, '0')),
                     e->fontMetrics().height());
    return e->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &opt, text.grownBy(e->textMargins()), e)
        .width();
}

}  // namespace tw::editor::qt
