#pragma once

#include <QDialog>
#include <QIcon>

// The About box: the program's icon, name and version, and an OK button.
namespace orvana::app {

class CAboutDlg final : public QDialog {
  Q_OBJECT

 public:
  CAboutDlg(const QIcon& icon, QWidget* parent);
};

}  // namespace orvana::app
