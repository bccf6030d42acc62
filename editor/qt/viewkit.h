// What the editor's Qt windows share: the names every widget carries (its
// label as object name and accessible name, so that tests and assistive
// tools find it), keyboard mnemonics, the digits-only rule of number fields
// and the window in front.
#pragma once

#include <QSet>
#include <QString>
#include <string>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tw::editor::qt {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}

// The object name and the accessible name of a widget.
void setNames(QWidget* w, const QString& name);

// The window that a new dialog or message box belongs to: the modal dialog
// in front, else the active window (nullptr when there is none).
QWidget* frontWindow();

// The keyboard mnemonics of one window: every text gets a letter that no
// other text of the window has, the initial of a word when one is free.
class Mnemonics {
  public:
    // The text with "&" before its letter; unchanged when all its letters
    // are taken.
    QString mark(const QString& text);

  private:
    QSet<QChar> used_;
};

// A button caption with "&" before the first occurrence of letter (any
// case); the caption as it is when the letter is not in it.
QString markLetter(const QString& caption, QChar letter);

// Sets a button's caption, keeping the mnemonic letter it was given first.
void setCaption(QAbstractButton* b, const QString& caption, Mnemonics& m);

// A push button named name showing text (with a mnemonic). Enter does not
// press it (the dialogs swallow Enter); Space and the mnemonic do.
QPushButton* pushButton(const QString& name, const QString& text, Mnemonics& m,
                        QWidget* parent = nullptr);

// The label of a field: the text with a mnemonic, the field as its buddy,
// named "<field's name> label".
QLabel* fieldLabel(const QString& text, QWidget* buddy, Mnemonics& m);

// A field that takes digits only.
void digitsOnly(QLineEdit* e);

// A line edit's width for n characters of its font.
int widthForChars(QLineEdit* e, int n);

}  // namespace tw::editor::qt
