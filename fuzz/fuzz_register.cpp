// libFuzzer target: the register (GetFileInfo.ini) read back as records and
// each record split into its fields.
#include "FuzzScratch.h"
#include "platform/Error.h"
#include "shell/FileInfoList.h"
#include "shell/TextLines.h"

using namespace tessarine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path = QString::fromStdString(fuzz::scratchFolder() + "/GetFileInfo.ini");
  fuzz::writeWhole(path.toStdString(), data, size);
  QStringList records;
  try {
    records = readRegister(path);
  } catch (const Error&) {
    __builtin_trap();  // the file is there and readable
  }
  const QStringList same = splitTextLines(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  if (same != records) __builtin_trap();  // one splitting rule for both
  for (const QString& record : records) {
    const FileInfoFields f = splitFileInfoRecord(record);
    // A record with all its separators splits back into itself.
    if (record.count(u'^') >= 3 &&
        f.name + u'^' + f.extension + u'^' + f.size + u'^' + f.address != record)
      __builtin_trap();
  }
  return 0;
}
