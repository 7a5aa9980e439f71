#pragma once

#include <QString>

namespace tessarine {

// An INI file read and written the way the Windows profile functions do it:
// sections and keys match without regard to case; every read goes to the
// file and every write rewrites it at once, keeping its other lines; a new
// file gets the section header and then the keys in the order written.
// Lines end in CR LF; text is UTF-8.
class ProfileFile {
 public:
  explicit ProfileFile(QString path) : path_(std::move(path)) {}

  const QString& path() const { return path_; }

  // The value of `key` in `section`, trimmed, at most 2047 characters;
  // `fallback` when the file, the section or the key is missing.
  QString readString(const QString& section, const QString& key,
                     const QString& fallback) const;

  // The value as a decimal or 0x/0X hexadecimal integer; `fallback` when
  // missing or not an integer.
  int readInteger(const QString& section, const QString& key,
                  int fallback) const;

  // True when the value is a non-zero integer; `fallback` when missing or
  // not an integer.
  bool readBool(const QString& section, const QString& key,
                bool fallback) const;

  // Sets `key` in `section` to `value`, creating file, section or key as
  // needed. Throws Error("Unable to write to <path>") when the file cannot
  // be written.
  void writeString(const QString& section, const QString& key,
                   const QString& value) const;

  // Writes "1" for true and "0" for false.
  void writeBool(const QString& section, const QString& key, bool value) const;

 private:
  QString path_;
};

// Parses text as Windows reads an integer: optional sign, decimal digits or
// 0x/0X and hexadecimal digits. Returns false for anything else.
bool parseProfileInteger(const QString& text, int* value);

}  // namespace tessarine
