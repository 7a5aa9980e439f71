// libFuzzer target: an INI file read the way the Windows profile functions
// read it (the keys the program uses and ones taken from the file), then
// written to and read back.
#include <QRegularExpression>

#include "FuzzScratch.h"
#include "platform/Error.h"
#include "platform/profile/ProfileFile.h"

using namespace tessarine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::scratchFolder() + "/Set.ini";
  fuzz::writeWhole(path, data, size);
  const ProfileFile ini(QString::fromStdString(path));

  // A section and a key named in the file itself, so lookups can hit.
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  static const QRegularExpression sectionRe(QStringLiteral("\\[([^\\]\\r\\n]*)\\]"));
  static const QRegularExpression keyRe(QStringLiteral("(?:^|[\\r\\n])([^=\\r\\n\\[]+)="));
  const auto s = sectionRe.match(text);
  const auto k = keyRe.match(text);
  const QString section = s.hasMatch() ? s.captured(1) : QStringLiteral("GetFiles");
  const QString key = k.hasMatch() ? k.captured(1) : QStringLiteral("Folder");

  (void)ini.readString(QStringLiteral("GetFiles"), QStringLiteral("Folder"), QString());
  (void)ini.readBool(QStringLiteral("GetFiles"), QStringLiteral("OverWrite"), true);
  (void)ini.readString(section, key, QStringLiteral("none"));
  (void)ini.readInteger(section, key, -1);
  (void)ini.readBool(section, QStringLiteral("OverWrite"), false);

  try {
    ini.writeString(QStringLiteral("GetFiles"), QStringLiteral("Folder"), QStringLiteral("/tmp/out"));
    ini.writeBool(QStringLiteral("GetFiles"), QStringLiteral("OverWrite"), false);
    // A write is what the next read sees.
    if (ini.readString(QStringLiteral("GetFiles"), QStringLiteral("Folder"), QString()) !=
        QStringLiteral("/tmp/out"))
      __builtin_trap();
    ini.writeString(section, key, QStringLiteral("written"));
  } catch (const Error&) {
    __builtin_trap();  // the scratch file is writable
  }
  return 0;
}
