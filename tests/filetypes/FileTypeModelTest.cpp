#include "filetypes/FileTypeModel.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include "platform/Error.h"

using tessarine::Error;
using tessarine::FileTypeModel;

namespace {

// What a file of the current shape holds before any toggle.
const char kBuiltInFile[] =
    "1|0|0|Temporary Internet Files\r\n"
    "\t1|3|3|Graphics\r\n"
    "\t\t1|0|5|Bitmap (.bmp)\r\n"
    "\t\t1|0|5|GIF graphis file (.gif)\r\n"
    "\t\t1|0|5|JPEG (.jpeg, .jpg)\r\n"
    "\t\t1|0|5|ICO (.ico)\r\n"
    "\t\t1|0|5|PNG (.png)\r\n"
    "\t1|1|1|Audio\r\n"
    "\t\t1|0|5|MP3 file (.mp3)\r\n"
    "\t\t1|0|5|MID (.mid, midi)\r\n"
    "\t\t1|0|5|WAV (.wav)\r\n"
    "\t1|2|2|Video\r\n"
    "\t\t1|0|5|WMV file (.wmv)\r\n"
    "\t\t1|0|5|RM file (.rm)\r\n"
    "\t\t1|0|5|ASF file (.asf)\r\n"
    "\t\t1|0|0|SWF file (.swf)\r\n"
    "\t1|4|4|Documents\r\n"
    "\t\t1|0|5|PDF file (.pdf)\r\n"
    "\t\t1|0|5|HTML file (.htm, html)\r\n"
    "\t\t1|0|5|TXT file (.txt)\r\n"
    "\t1|3|3|More graphics\r\n"
    "\t\t1|0|5|WebP (.webp)\r\n"
    "\t\t1|0|5|AVIF (.avif)\r\n"
    "\t\t1|0|5|SVG (.svg)\r\n"
    "\t1|2|2|More audio and video\r\n"
    "\t\t1|0|5|MP4 video (.mp4, .m4v)\r\n"
    "\t\t1|0|5|WebM (.webm)\r\n"
    "\t\t1|0|5|Ogg and Opus (.ogg, .oga, .opus)\r\n"
    "\t\t1|0|5|M4A and AAC (.m4a, .aac)\r\n"
    "\t\t1|0|5|FLAC (.flac)\r\n"
    "\t1|4|4|Web page files\r\n"
    "\t\t1|0|5|JavaScript (.js, .mjs)\r\n"
    "\t\t1|0|5|CSS (.css)\r\n"
    "\t\t1|0|5|JSON (.json)\r\n"
    "\t\t1|0|5|Fonts (.woff, .woff2, .ttf, .otf)\r\n";

QByteArray readAll(const QString& path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

std::vector<int> states(const FileTypeModel& m) {
  std::vector<int> s;
  for (int i = 0; i < m.size(); ++i) s.push_back(m.node(i).state);
  return s;
}

QStringList originalTwenty() {
  return FileTypeModel::builtIn().toLines().mid(0, 20);
}

}  // namespace

TEST(FileTypeModel, BuiltInTreeSavesByteExact) {
  QTemporaryDir dir;
  const QString path = dir.filePath("SeFile.ini");
  FileTypeModel::builtIn().saveToFile(path);
  EXPECT_EQ(readAll(path), QByteArray(kBuiltInFile));
}

TEST(FileTypeModel, BuiltInShape) {
  const FileTypeModel m = FileTypeModel::builtIn();
  ASSERT_EQ(m.size(), 35);
  EXPECT_EQ(m.node(0).parent, nullptr);
  EXPECT_EQ(m.node(0).children.size(), 7u);  // four groups and the three newer ones
  EXPECT_EQ(m.node(15).parent, &m.node(11));  // SWF under Video
  EXPECT_EQ(m.node(34).parent, &m.node(30));
}

TEST(FileTypeModel, EmptyTreeWritesEmptyFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("SeFile.ini");
  FileTypeModel().saveToFile(path);
  EXPECT_EQ(readAll(path), QByteArray());
  FileTypeModel m = FileTypeModel::builtIn();
  m.loadFromFile(path);
  EXPECT_EQ(m.size(), 0);
}

struct ParsedNode {
  int parentLine;  // -1 for top level
  int state, image, selectedImage;
  QString caption;
};

struct LoadCase {
  const char* name;
  QStringList lines;
  std::vector<ParsedNode> nodes;
};

TEST(FileTypeModel, LoaderRules) {
  const std::vector<LoadCase> cases = {
      {"caption only", {"Graphics"}, {{-1, 1, -1, -1, "Graphics"}}},
      {"one field", {"2|3"}, {{-1, 2, -1, -1, "3"}}},
      {"two fields", {"3|4|x"}, {{-1, 3, 4, -1, "x"}}},
      {"caption keeps bars", {"1|0|5|a|b|"}, {{-1, 1, 0, 5, "a|b|"}}},
      {"minus one state shown unchecked", {"-1|-1|-1|n"}, {{-1, 1, -1, -1, "n"}}},
      {"states kept without cascade",
       {"1|0|0|r", "\t2|3|3|g", "\t\t1|0|5|a", "\t\t0|0|5|b", "\t\t7|0|5|c"},
       {{-1, 1, 0, 0, "r"}, {0, 2, 3, 3, "g"}, {1, 1, 0, 5, "a"}, {1, 0, 0, 5, "b"},
        {1, 7, 0, 5, "c"}}},
      {"indented first line is top level",
       {"\t \t1|0|0|r", "\t1|0|0|c"},
       {{-1, 1, 0, 0, "r"}, {0, 1, 0, 0, "c"}}},
      {"spaces count as depth", {"1|0|0|r", " 1|0|0|a", "\t 1|0|0|deep", " 1|0|0|x"},
       {{-1, 1, 0, 0, "r"}, {0, 1, 0, 0, "a"}, {1, 1, 0, 0, "deep"}, {0, 1, 0, 0, "x"}}},
      {"placement: equal, one more, less",
       {"r", "\ta", "\t\tb", "\t\tc", "\td", "e", "\tf"},
       {{-1, 1, -1, -1, "r"}, {0, 1, -1, -1, "a"}, {1, 1, -1, -1, "b"},
        {1, 1, -1, -1, "c"}, {0, 1, -1, -1, "d"}, {-1, 1, -1, -1, "e"},
        {5, 1, -1, -1, "f"}}},
      {"less by two", {"r", "\ta", "\t\tb", "c"},
       {{-1, 1, -1, -1, "r"}, {0, 1, -1, -1, "a"}, {1, 1, -1, -1, "b"},
        {-1, 1, -1, -1, "c"}}},
      {"depth compared with the tree, not the line", {"\t\tr", "\tc"},
       {{-1, 1, -1, -1, "r"}, {0, 1, -1, -1, "c"}}},
      {"empty caption", {"1|0|0|"}, {{-1, 1, 0, 0, ""}}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const FileTypeModel m = FileTypeModel::fromLines(c.lines);
    ASSERT_EQ(m.size(), int(c.nodes.size()));
    for (int i = 0; i < m.size(); ++i) {
      const auto& n = m.node(i);
      const auto& want = c.nodes[size_t(i)];
      EXPECT_EQ(n.parent ? n.parent->line : -1, want.parentLine) << i;
      EXPECT_EQ(n.state, want.state) << i;
      EXPECT_EQ(n.image, want.image) << i;
      EXPECT_EQ(n.selectedImage, want.selectedImage) << i;
      EXPECT_EQ(n.caption, want.caption) << i;
    }
  }
}

TEST(FileTypeModel, LoaderErrors) {
  const std::vector<std::pair<QStringList, std::string>> cases = {
      {{"x|0|0|a"}, "'x' is not a valid integer value"},
      {{"1|0x|0|a"}, "'0x' is not a valid integer value"},
      {{"1|0| 5|a"}, "' 5' is not a valid integer value"},
      {{"|0|0|a"}, "'' is not a valid integer value"},
      {{"1|0|99999999999|a"}, "'99999999999' is not a valid integer value"},
      {{"1|0|0|r", "\t\t1|0|0|b|c"}, "Invalid level (2) for item \"b|c\""},
      {{"r", "\ta", "\t\t\t\tdeep"}, "Invalid level (4) for item \"deep\""},
      {{"\t\tr", "\t\tc"}, "Invalid level (2) for item \"c\""},
      // The number is read before the node is placed.
      {{"r", "\t\t\tq|0|0|c"}, "'q' is not a valid integer value"},
  };
  for (const auto& [lines, message] : cases) {
    SCOPED_TRACE(message);
    try {
      FileTypeModel::fromLines(lines);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

TEST(FileTypeModel, FileFromBeforeTheNewerGroups) {
  QStringList old = originalTwenty();
  old[4] = "\t\t2|0|5|JPEG (.jpeg, .jpg)";
  old[1] = "\t3|3|3|Graphics";
  old[0] = "3|0|0|Temporary Internet Files";

  struct Case {
    const char* name;
    QStringList lines;
    int size;
  };
  QStringList indented = old;
  indented[0].prepend(u' ');
  QStringList otherCaption = old;
  otherCaption[3] = "\t\t1|0|5|GIF (.gif)";
  QStringList otherDepth = old;
  otherDepth[19] = "\t1|0|5|TXT file (.txt)";
  const std::vector<Case> cases = {
      {"original twenty", old, 35},
      {"indented first line", indented, 35},
      {"a caption differs", otherCaption, 20},
      {"a depth differs", otherDepth, 20},
      {"nineteen lines", old.mid(0, 19), 19},
      {"twenty-one lines", old + QStringList{"\t1|0|0|extra"}, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FileTypeModel m = FileTypeModel::fromLines(c.lines);
    ASSERT_EQ(m.size(), c.size);
    if (c.size != 35) continue;
    const QStringList saved = m.toLines();
    EXPECT_EQ(saved.mid(0, 20).mid(1), old.mid(1));  // states kept as loaded
    EXPECT_EQ(saved.mid(20), FileTypeModel::builtIn().toLines().mid(20));
    EXPECT_EQ(m.node(20).parent, &m.node(0));
  }
}

TEST(FileTypeModel, LoadFailureKeepsBuiltInTree) {
  QTemporaryDir dir;
  const QString bad = dir.filePath("bad.ini");
  writeAll(bad, "1|0|0|r\r\n\t2|0|0|a\r\n\t\tz|0|0|b\r\n");
  const QString missing = dir.filePath("missing.ini");
  const std::vector<std::pair<QString, std::string>> cases = {
      {bad, "'z' is not a valid integer value"},
      {missing, "Cannot open file " + missing.toStdString()},
  };
  for (const auto& [path, message] : cases) {
    SCOPED_TRACE(message);
    FileTypeModel m = FileTypeModel::builtIn();
    m.toggle(0);
    try {
      m.loadFromFile(path);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), message);
    }
    EXPECT_EQ(m.toLines(), FileTypeModel::builtIn().toLines());
  }
}

TEST(FileTypeModel, SaveLoadRoundTrip) {
  QTemporaryDir dir;
  const QString path = dir.filePath("SeFile.ini");
  FileTypeModel m = FileTypeModel::builtIn();
  m.toggle(4);
  m.toggle(7);
  m.toggle(26);
  m.saveToFile(path);
  FileTypeModel back;
  back.loadFromFile(path);
  EXPECT_EQ(back.toLines(), m.toLines());
  back.saveToFile(path);
  FileTypeModel again;
  again.loadFromFile(path);
  EXPECT_EQ(states(again), states(m));
}

TEST(FileTypeModel, SaveToUncreatableFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("no/such/folder/SeFile.ini");
  try {
    FileTypeModel::builtIn().saveToFile(path);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), "Cannot create file " + path.toStdString());
  }
}

struct CascadeCase {
  const char* name;
  QStringList start;            // empty: the built-in tree
  std::vector<int> toggles;     // lines, in order
  std::vector<std::pair<int, int>> expect;  // line, state; others as `rest`
  std::optional<int> rest;      // state of every line not listed
};

TEST(FileTypeModel, Cascade) {
  const QStringList zeroLeaf = {"1|0|0|r", "\t1|0|0|g", "\t\t1|0|5|a", "\t\t0|0|5|b",
                                "\t1|0|0|h", "\t\t0|0|5|c", "\t\t9|0|5|d"};
  const std::vector<CascadeCase> cases = {
      {"JPEG only", {}, {4}, {{0, 3}, {1, 3}, {4, 2}}, 1},
      {"Graphics group", {}, {1}, {{0, 3}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}}, 1},
      {"root checks every node", {}, {0}, {}, 2},
      {"every group checks the root", {}, {1, 7, 11, 16, 20, 24, 30}, {}, 2},
      {"every leaf checks the root",
       {},
       {2, 3, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15, 17, 18, 19, 21, 22, 23, 25, 26, 27, 28, 29,
        31, 32, 33, 34},
       {},
       2},
      {"one leaf off a checked tree", {}, {0, 2}, {{0, 3}, {1, 3}, {2, 1}}, 2},
      {"root twice", {}, {0, 0}, {}, 1},
      {"partial group becomes checked", {}, {4, 1},
       {{0, 3}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}}, 1},
      {"partial root becomes checked", {}, {4, 0}, {}, 2},
      {"state 0 ignores a toggle", zeroLeaf, {3},
       {{0, 1}, {1, 1}, {2, 1}, {3, 0}, {4, 1}, {5, 0}, {6, 9}}, std::nullopt},
      {"state 9 ignores a toggle", zeroLeaf, {6},
       {{0, 1}, {1, 1}, {2, 1}, {3, 0}, {4, 1}, {5, 0}, {6, 9}}, std::nullopt},
      {"descendants in state 0 take the new state", zeroLeaf, {1},
       {{0, 3}, {1, 2}, {2, 2}, {3, 2}, {4, 1}, {5, 0}, {6, 9}}, std::nullopt},
      {"children outside 1..3 count for neither", zeroLeaf, {2},
       {{0, 3}, {1, 2}, {2, 2}, {3, 0}, {4, 1}, {5, 0}, {6, 9}}, std::nullopt},
      {"a child at 3 makes the parent 3",
       {"1|0|0|r", "\t2|0|0|g", "\t\t3|0|0|x", "\t\t2|0|0|y", "\t2|0|0|h", "\t\t2|0|0|z"},
       {5},
       {{0, 3}, {1, 2}, {2, 3}, {3, 2}, {4, 1}, {5, 1}}, std::nullopt},
      {"ancestors from direct children only",
       {"1|0|0|r", "\t2|0|0|g", "\t\t1|0|0|x", "\t\t1|0|0|y", "\t1|0|0|h", "\t\t1|0|0|z"},
       {5},
       {{0, 2}, {1, 2}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}, std::nullopt},
      {"a top-level sibling is untouched", {"1|0|0|r", "\t1|0|0|a", "1|0|0|s"}, {1},
       {{0, 2}, {1, 2}, {2, 1}}, std::nullopt},
  };
  for (const CascadeCase& c : cases) {
    SCOPED_TRACE(c.name);
    FileTypeModel m = c.start.isEmpty() ? FileTypeModel::builtIn()
                                        : FileTypeModel::fromLines(c.start);
    for (int line : c.toggles) m.toggle(line);
    std::vector<int> want(size_t(m.size()), c.rest.value_or(-100));
    for (const auto& [line, state] : c.expect) want[size_t(line)] = state;
    if (!c.rest) {
      ASSERT_EQ(c.expect.size(), size_t(m.size()));
    }
    EXPECT_EQ(states(m), want);
  }
}

TEST(FileTypeModel, ToggleReportsWhetherItHappened) {
  FileTypeModel m = FileTypeModel::fromLines({"0|0|0|r", "\t1|0|0|a"});
  EXPECT_FALSE(m.toggle(0));
  EXPECT_TRUE(m.toggle(1));
  EXPECT_EQ(m.node(0).state, 2);  // an ancestor at 0 is still worked out
}

TEST(FileTypeModel, DeepAndWideFiles) {
  QStringList deep, wide{"r"};
  for (int i = 0; i < 3000; ++i) deep << QString(i, u'\t') + "1|0|0|n";
  for (int i = 0; i < 100000; ++i) wide << "\t1|0|5|leaf";
  FileTypeModel d = FileTypeModel::fromLines(deep);
  EXPECT_EQ(d.node(2999).depth, 2999);
  EXPECT_TRUE(d.toggle(0));
  EXPECT_EQ(d.node(2999).state, 2);
  EXPECT_TRUE(d.toggle(2999));
  EXPECT_EQ(d.node(0).state, 1);
  FileTypeModel w = FileTypeModel::fromLines(wide);
  EXPECT_TRUE(w.toggle(100000));
  EXPECT_EQ(w.node(0).state, 3);
}
