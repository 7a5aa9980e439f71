// libFuzzer target: a SeFile.ini read as the file-type tree (line splitting,
// then the tree loader), toggled, and written out and read back.
#include "FuzzScratch.h"
#include "filetypes/FileTypeModel.h"
#include "platform/Error.h"
#include "shell/TextLines.h"

using tessarine::Error;
using tessarine::FileTypeModel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path = QString::fromStdString(tessarine::fuzz::scratchFolder() + "/SeFile.ini");
  tessarine::fuzz::writeWhole(path.toStdString(), data, size);
  FileTypeModel model;
  try {
    model.loadFromFile(path);
  } catch (const Error&) {
    return 0;  // refused: the tree is the built-in one
  }
  for (int line = 0; line < model.size() && line < 8; ++line) model.toggle(line);
  const QStringList lines = model.toLines();
  // What it writes, it reads back the same.
  if (FileTypeModel::fromLines(tessarine::splitTextLines(lines.join("\r\n").toUtf8())).toLines() != lines)
    __builtin_trap();
  return 0;
}
