#pragma once

#include <QString>

namespace tessarine {

// One file a run copied, as the list shows it and the register records it.
struct RecoveredFile {
  QString name;       // the copy's name in the output folder
  QString type;       // the extension as it stands in the name, dot included
  quint64 size = 0;   // bytes copied
  QString address;    // the entry's web address
  QString record;     // the file-info record appended to fileInfoList
};

// What a recovery run reports to whoever shows it (the recovery dialog, the
// terminal program). Both see the same events from the same code.
class RecoveryListener {
 public:
  virtual ~RecoveryListener() = default;

  // The run has started: the list is to be emptied, progress shown, "Please
  // waiting..." with a maximum of 0.
  virtual void runStarted() {}
  // The cache holds `total` entries (the progress maximum).
  virtual void entriesCounted(int total) { (void)total; }
  // Entry number `position` (from 1) is being handled.
  virtual void entryVisited(int position, const QString& address) {
    (void)position;
    (void)address;
  }
  // A file was copied and its record appended.
  virtual void fileRecovered(const RecoveredFile& file) { (void)file; }

  // The output folder for the next copy, read at each copy.
  virtual QString outputFolder() = 0;
  // True when the user asked to end the run after the current entry.
  virtual bool stopRequested() { return false; }
};

}  // namespace tessarine
