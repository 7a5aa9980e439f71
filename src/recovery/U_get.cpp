#include "recovery/U_get.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "cache/CacheWalk.h"
#include "platform/desktop/Desktop.h"
#include "recovery/EmptyFolder.h"
#include "recovery/RecoverCacheFiles.h"
#include "shell/AppDir.h"
#include "shell/ErrorDisplay.h"
#include "shell/FileInfoList.h"
#include "shell/Settings.h"
#include "shell/U_main.h"

namespace tessarine {
namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QIcon& icon, QRect geometry) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(icon);
  b->setGeometry(geometry);
  // No default button: Return presses only the focused one.
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

QIcon menuImage(const TfrmMain& main, int index) {
  const QList<QIcon>& images = main.menuImageList();
  return index >= 0 && index < images.size() ? images[index] : QIcon();
}

}  // namespace

TgetForm::TgetForm(TfrmMain& owner) : QDialog(&owner), main_(owner) {
  setObjectName(QStringLiteral("getForm"));
  setWindowTitle(QStringLiteral("Recover temporary Internet Files Now! "));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(442, 205);
  setModal(true);

  RzGroupBox1_ = new QGroupBox(QStringLiteral("Files Output Path: "), this);
  RzGroupBox1_->setObjectName(QStringLiteral("RzGroupBox1"));
  RzGroupBox1_->setGeometry(8, 28, 425, 52);
  folderRzEdit_ = new QLineEdit(RzGroupBox1_);
  folderRzEdit_->setObjectName(QStringLiteral("folderRzEdit"));
  folderRzEdit_->setReadOnly(true);
  folderRzEdit_->setGeometry(8, 22, 289, 21);
  pathRzBitBtn_ = makeButton(RzGroupBox1_, "pathRzBitBtn", QStringLiteral("Select Folder"),
                             menuImage(owner, 1), QRect(304, 19, 101, 25));

  overRzCheckBox_ = new QCheckBox(QStringLiteral("Empty Folder"), this);
  overRzCheckBox_->setObjectName(QStringLiteral("overRzCheckBox"));
  overRzCheckBox_->setGeometry(11, 89, 115, 17);
  overRzCheckBox_->setChecked(true);

  RzBitBtn2_ = makeButton(this, "RzBitBtn2", QStringLiteral("Delete Temporary Internet Files"),
                          QIcon(), QRect(240, 87, 173, 25));

  pfileLabel_ = new QLabel(this);
  pfileLabel_->setObjectName(QStringLiteral("pfileLabel"));
  pfileLabel_->setGeometry(10, 111, 417, 15);
  pfileLabel_->setTextFormat(Qt::PlainText);

  RzProgressBar_ = new QProgressBar(this);
  RzProgressBar_->setObjectName(QStringLiteral("RzProgressBar"));
  RzProgressBar_->setGeometry(8, 128, 417, 22);
  RzProgressBar_->setRange(0, 100);
  RzProgressBar_->setValue(0);
  RzProgressBar_->setOrientation(Qt::Horizontal);
  RzProgressBar_->setTextVisible(true);
  RzProgressBar_->hide();

  okRzBitBtn_ = makeButton(this, "okRzBitBtn", QStringLiteral("Start..."), menuImage(owner, 0),
                           QRect(95, 161, 73, 25));
  closeRzBitBtn_ = makeButton(this, "closeRzBitBtn", QStringLiteral("Close"),
                              menuImage(owner, 7), QRect(191, 161, 73, 25));
  RzBitBtn1_ = makeButton(this, "RzBitBtn1", QStringLiteral("Help"), menuImage(owner, 6),
                          QRect(290, 161, 73, 25));

  connect(pathRzBitBtn_, &QPushButton::clicked, this, &TgetForm::pathRzBitBtnClick);
  connect(okRzBitBtn_, &QPushButton::clicked, this, &TgetForm::okRzBitBtnClick);
  connect(closeRzBitBtn_, &QPushButton::clicked, this, &TgetForm::closeRzBitBtnClick);
  connect(RzBitBtn1_, &QPushButton::clicked, this, &TgetForm::RzBitBtn1Click);
  connect(RzBitBtn2_, &QPushButton::clicked, this, &TgetForm::RzBitBtn2Click);
}

void TgetForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TgetForm::FormShow() {
  folderRzEdit_->setText(settings::readFolder());
  overRzCheckBox_->setChecked(settings::readOverWrite());
  QString folder = folderRzEdit_->text();
  applyDefaultFolderStep(folder);
  folderRzEdit_->setText(folder);
}

void TgetForm::pathRzBitBtnClick() {
  const std::optional<QString> chosen =
      main_.desktop().selectFolder(this, QStringLiteral("Select Folder"));
  if (chosen) folderRzEdit_->setText(*chosen);
}

void TgetForm::setBusy(bool busy) {
  busy_ = busy;
  okRzBitBtn_->setEnabled(!busy);
  RzBitBtn2_->setEnabled(!busy);
}

void TgetForm::okRzBitBtnClick() {
  if (busy_) return;
  QString folder = folderRzEdit_->text();
  applyDefaultFolderStep(folder);
  folder = safeOutputFolder(folder, defaultOutputFolder());
  folderRzEdit_->setText(folder);

  setBusy(true);
  stop_ = false;
  struct Idle {
    TgetForm* form;
    ~Idle() { form->setBusy(false); }
  } idle{this};

  if (overRzCheckBox_->isChecked()) emptyOutputFolder(folder, defaultOutputFolder());
  fileInfoList().clear();
  int count = 0;
  try {
    count = RecoverCacheFiles(systemUrlCache(), main_.selectedExts(), *this);
  } catch (...) {
    // The copies and records made so far stay; the reason is shown.
    failurePath();
    throw;
  }
  RzProgressBar_->hide();
  pfileLabel_->setText(QStringLiteral("completed!"));
  main_.desktop().messageBox(this, QStringLiteral("Total get: %1 files.").arg(count),
                             QStringLiteral("Completed!"), kMbIconInformation | kMbOk);
  try {
    saveRegister(registerPath(), fileInfoList());
  } catch (...) {
    failurePath();  // its second save may raise "Cannot create file"
    return;
  }
  closeAfterBusy_ = false;
  setBusy(false);
  close();
}

void TgetForm::failurePath() {
  RzProgressBar_->hide();
  pfileLabel_->hide();
  saveRegister(registerPath(), fileInfoList());
}

void TgetForm::closeRzBitBtnClick() { close(); }

void TgetForm::RzBitBtn1Click() {
  main_.desktop().shellOpen(this, appDir() + QStringLiteral("Help.Chm"));
}

void TgetForm::RzBitBtn2Click() {
  if (busy_) return;
  if (main_.desktop().messageBox(this, QStringLiteral("Delete Temporary Internet Files Now?"),
                                 QStringLiteral("Information"), kMbIconQuestion | kMbYesNo) !=
      kIdYes)
    return;
  setBusy(true);
  struct Idle {
    TgetForm* form;
    ~Idle() { form->setBusy(false); }
  } idle{this};
  ClearCacheEntries(systemUrlCache());
  if (closeAfterBusy_) {
    closeAfterBusy_ = false;
    setBusy(false);
    close();
  }
}

void TgetForm::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // A run ends after its current entry and then closes the dialog; a
    // clearing closes once its walk has returned.
    stop_ = true;
    closeAfterBusy_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TgetForm::reject() {
  if (busy_) {
    stop_ = true;
    closeAfterBusy_ = true;
    return;
  }
  QDialog::reject();
}

void TgetForm::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TgetForm::FormClose() {
  try {
    settings::writeFolder(folderRzEdit_->text());
    settings::writeOverWrite(overRzCheckBox_->isChecked());
  } catch (...) {
    // Shown once; the dialog closes all the same.
    showCurrentException(main_.desktop(), this);
  }
}

void TgetForm::runStarted() {
  main_.clearRecoveredRows();
  RzProgressBar_->setValue(0);
  RzProgressBar_->show();
  pfileLabel_->show();
  RzProgressBar_->repaint();
  pfileLabel_->repaint();
  pfileLabel_->setText(QStringLiteral("Please waiting..."));
  RzProgressBar_->setMaximum(0);
}

void TgetForm::entriesCounted(int total) { RzProgressBar_->setRange(0, total); }

void TgetForm::entryVisited(int position, const QString& address) {
  // The cache may have grown since it was counted.
  if (position > RzProgressBar_->maximum()) RzProgressBar_->setMaximum(position);
  RzProgressBar_->setValue(position);
  pfileLabel_->setText(address);
  RzProgressBar_->repaint();
  pfileLabel_->repaint();
}

void TgetForm::fileRecovered(const RecoveredFile& file) {
  main_.addRecoveredRow(file.name, file.type, QString::number(file.size / 1024) + "KB",
                        file.address, file.record);
}

QString TgetForm::outputFolder() {
  return safeOutputFolder(folderRzEdit_->text(), defaultOutputFolder());
}

}  // namespace tessarine
