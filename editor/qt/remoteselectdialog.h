// "Remote Select": one name chosen from a long list (the files or folders
// of a remote machine), in the order given. OK, or a double click, takes
// the selected name; Cancel or no selection gives nothing.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

class QListView;
class QPushButton;
class QStringListModel;

namespace tw::editor::qt {

class RemoteSelectDialog : public QDialog {
    Q_OBJECT
  public:
    RemoteSelectDialog(const QString& title, const std::vector<std::string>& names,
                       QWidget* parent = nullptr);

    // The selected name, nothing without a selection.
    std::optional<std::string> selectedName() const;

  private:
    QStringListModel* model_;
    QListView* list_;
    QPushButton* ok_;
};

}  // namespace tw::editor::qt
