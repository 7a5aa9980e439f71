#pragma once

#include <QDialog>

#include "recovery/RecoveryListener.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tessarine {

class TfrmMain;

// The recovery dialog "Recover temporary Internet Files Now! ": the output
// folder, "Empty Folder", and the run that copies the cached files of the
// selected kinds into the folder and lists them in the main window.
class TgetForm : public QDialog, public RecoveryListener {
  Q_OBJECT
 public:
  // A dialog for one Get File Now of `owner`; the owner outlives it.
  explicit TgetForm(TfrmMain& owner);

  QLineEdit* folderRzEdit() const { return folderRzEdit_; }
  QCheckBox* overRzCheckBox() const { return overRzCheckBox_; }
  QPushButton* pathRzBitBtn() const { return pathRzBitBtn_; }
  QPushButton* okRzBitBtn() const { return okRzBitBtn_; }
  QPushButton* closeRzBitBtn() const { return closeRzBitBtn_; }
  QPushButton* RzBitBtn1() const { return RzBitBtn1_; }
  QPushButton* RzBitBtn2() const { return RzBitBtn2_; }
  QLabel* pfileLabel() const { return pfileLabel_; }
  QProgressBar* RzProgressBar() const { return RzProgressBar_; }
  // True while a run or a clearing is under way.
  bool busy() const { return busy_; }

 public slots:
  // Reads Folder and OverWrite from Set.ini, then the default-folder step.
  void FormShow();
  // "Select Folder": lets the user pick the output folder.
  void pathRzBitBtnClick();
  // "Start...": empties the folder when asked, runs the recovery, reports
  // the total, writes the register and closes.
  void okRzBitBtnClick();
  // "Close": closes the dialog; during a run, ends the run after the
  // current entry (the run then completes and the dialog closes).
  void closeRzBitBtnClick();
  // "Help": opens appDir + "Help.Chm".
  void RzBitBtn1Click();
  // "Delete Temporary Internet Files": after a confirmation, deletes every
  // cache entry except cookies.
  void RzBitBtn2Click();
  // Writes Folder and OverWrite to Set.ini (every close).
  void FormClose();

  void done(int result) override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  // RecoveryListener: the run's progress, shown here and in the main window.
  void runStarted() override;
  void entriesCounted(int total) override;
  void entryVisited(int position, const QString& address) override;
  void fileRecovered(const RecoveredFile& file) override;
  QString outputFolder() override;
  bool stopRequested() override { return stop_; }

 private:
  void failurePath();
  void setBusy(bool busy);

  TfrmMain& main_;
  QGroupBox* RzGroupBox1_;
  QLineEdit* folderRzEdit_;
  QPushButton* pathRzBitBtn_;
  QCheckBox* overRzCheckBox_;
  QPushButton* okRzBitBtn_;
  QPushButton* closeRzBitBtn_;
  QLabel* pfileLabel_;
  QPushButton* RzBitBtn1_;
  QPushButton* RzBitBtn2_;
  QProgressBar* RzProgressBar_;
  bool busy_ = false;
  bool stop_ = false;
  bool closeAfterBusy_ = false;
  bool settingsWritten_ = false;
};

}  // namespace tessarine
