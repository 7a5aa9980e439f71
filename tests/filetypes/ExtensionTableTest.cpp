#include "filetypes/ExtensionTable.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "filetypes/FileTypeModel.h"
#include "platform/Error.h"

using tessarine::deriveSelectedExts;
using tessarine::FileTypeModel;
using tessarine::lineCountsAsChecked;
using tessarine::selectedExtsFromFile;

namespace {

QStringList afterToggles(std::initializer_list<int> lines) {
  FileTypeModel m = FileTypeModel::builtIn();
  for (int line : lines) m.toggle(line);
  return m.toLines();
}

QStringList withState(QStringList lines, std::initializer_list<std::pair<int, int>> edits) {
  for (const auto& [line, state] : edits) {
    QString& l = lines[line];
    const qsizetype tabs = l.indexOf(u'|') - 1;
    l = l.left(tabs) + QString::number(state) + l.mid(tabs + 1);
  }
  return lines;
}

const QStringList kOriginalEighteen = {".bmp", ".gif", ".jpg", ".jpeg", ".ico", ".png",
                                       ".mp3", ".mid", ".midi", ".wav", ".wmv", ".rm",
                                       ".asf", ".swf", ".pdf", ".htm", ".html", ".txt"};
const QStringList kNewer = {".webp", ".avif", ".svg", ".mp4", ".m4v", ".webm",
                            ".ogg", ".oga", ".opus", ".m4a", ".aac", ".flac",
                            ".js", ".mjs", ".css", ".json", ".woff", ".woff2",
                            ".ttf", ".otf"};

}  // namespace

TEST(ExtensionTable, LineTest) {
  const std::vector<std::pair<QString, bool>> cases = {
      {"2|0|5|x", true},      {"\t\t2|0|5|x", true}, {"12|0|5|x", true},
      {"1|0|5|x", false},     {"3|0|5|x", false},    {"0|0|5|x", false},
      {"2", false},           {"|2|x", false},       {"", false},
      {"1|2|5|x", false},     {"\t\t2 |0|5|x", false},
  };
  for (const auto& [line, checked] : cases) EXPECT_EQ(lineCountsAsChecked(line), checked) << line.toStdString();
}

TEST(ExtensionTable, Derivation) {
  QStringList swapped = FileTypeModel::builtIn().toLines();
  swapped.swapItemsAt(2, 3);
  swapped = withState(swapped, {{2, 2}});

  QStringList oldAllChecked = FileTypeModel::builtIn().toLines().mid(0, 20);
  for (int i = 0; i < 20; ++i) oldAllChecked = withState(oldAllChecked, {{i, 2}});

  struct Case {
    const char* name;
    QStringList lines;
    QStringList exts;
  };
  const std::vector<Case> cases = {
      {"nothing ticked", afterToggles({}), {}},
      {"JPEG only", afterToggles({4}), {".jpg", ".jpeg"}},
      {"all leaves", afterToggles({2, 3, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15, 17, 18, 19, 21, 22,
                                   23, 25, 26, 27, 28, 29, 31, 32, 33, 34}),
       kOriginalEighteen + kNewer},
      {"root", afterToggles({0}), kOriginalEighteen + kNewer},
      {"root line alone at 2", withState(afterToggles({}), {{0, 2}}), {}},
      {"a group only", afterToggles({1}), {".bmp", ".gif", ".jpg", ".jpeg", ".ico", ".png"}},
      {"a newer group only", afterToggles({24}),
       {".mp4", ".m4v", ".webm", ".ogg", ".oga", ".opus", ".m4a", ".aac", ".flac"}},
      {"group at 2, its leaves at 1", withState(afterToggles({}), {{1, 2}}), {}},
      {"partially checked leaves do not count", withState(afterToggles({}), {{4, 3}}), {}},
      {"swapped lines: by position", swapped, {".bmp"}},
      {"short file", afterToggles({0}).mid(0, 5), {".bmp", ".gif", ".jpg", ".jpeg"}},
      {"empty file", {}, {}},
      {"old twenty-line file", oldAllChecked, kOriginalEighteen},
      {"mixed, in line order", afterToggles({32, 19, 9, 2}),
       {".bmp", ".mid", ".midi", ".txt", ".css"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(deriveSelectedExts(c.lines), c.exts);
  }
}

TEST(ExtensionTable, FromSavedFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("SeFile.ini");
  // A twenty-line file from before the newer groups, with JPEG ticked,
  // loaded and saved again as Get File Now does.
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(withState(FileTypeModel::builtIn().toLines().mid(0, 20), {{4, 2}, {1, 3}, {0, 3}})
              .join("\r\n")
              .toUtf8());
  f.close();
  FileTypeModel m;
  m.loadFromFile(path);
  m.toggle(21);
  m.saveToFile(path);
  EXPECT_EQ(selectedExtsFromFile(path), (QStringList{".jpg", ".jpeg", ".webp"}));
  EXPECT_THROW(selectedExtsFromFile(dir.filePath("missing")), tessarine::Error);
}
