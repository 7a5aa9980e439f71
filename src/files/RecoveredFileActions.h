#pragma once

namespace tessarine {

class TfrmMain;

// The commands on the rows of the main window's recovered-file list. Each
// finds a row's file at the output folder read from Set.ini at that moment
// (the default output folder when none is stored) + "/" + the row's name,
// asks for no confirmation and shows no message of its own.
class RecoveredFileActions {
 public:
  // Commands on `window`'s list and desktop; the window outlives this.
  explicit RecoveredFileActions(TfrmMain& window) : window_(window) {}

  // Open Folder: the shell opens output folder + "/".
  void openFolder();
  // Open the File: the shell opens the selected row's file; nothing when
  // no row is selected.
  void openSelectedFile();
  // Copy Checked Files: after the folder picker "Copy the Checked Files to
  // Folder", copies each ticked row's file into the chosen folder,
  // replacing a file of that name; copies that fail are passed over.
  // Cancelling copies nothing.
  void copyCheckedFiles();
  // Delete Checked Files: when the register exists, rewrites it with the
  // records of the unticked rows (register order) and removes the ticked
  // rows; no file is deleted. Errors reading or writing the register are
  // thrown (reading: nothing changed; writing: the rows are already gone).
  void deleteCheckedFiles();
  // Checked All / Unchecked All: every row's check box set to `checked`.
  void setAllChecked(bool checked);
  // Copy the Web Address: the selected row's address goes through the
  // hidden edit box to the clipboard as plain text; nothing when no row is
  // selected.
  void copyWebAddress();

 private:
  TfrmMain& window_;
};

}  // namespace tessarine
