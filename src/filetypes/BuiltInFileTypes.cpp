#include "filetypes/BuiltInFileTypes.h"

namespace tessarine {

const std::vector<BuiltInFileType>& builtInFileTypes() {
  static const std::vector<BuiltInFileType> rows = {
      {0, "Temporary Internet Files", 0, 0, {}},
      {1, "Graphics", 3, 3, {}},
      {2, "Bitmap (.bmp)", 0, 5, {".bmp"}},
      {2, "GIF graphis file (.gif)", 0, 5, {".gif"}},
      {2, "JPEG (.jpeg, .jpg)", 0, 5, {".jpg", ".jpeg"}},
      {2, "ICO (.ico)", 0, 5, {".ico"}},
      {2, "PNG (.png)", 0, 5, {".png"}},
      {1, "Audio", 1, 1, {}},
      {2, "MP3 file (.mp3)", 0, 5, {".mp3"}},
      {2, "MID (.mid, midi)", 0, 5, {".mid", ".midi"}},
      {2, "WAV (.wav)", 0, 5, {".wav"}},
      {1, "Video", 2, 2, {}},
      {2, "WMV file (.wmv)", 0, 5, {".wmv"}},
      {2, "RM file (.rm)", 0, 5, {".rm"}},
      {2, "ASF file (.asf)", 0, 5, {".asf"}},
      {2, "SWF file (.swf)", 0, 0, {".swf"}},
      {1, "Documents", 4, 4, {}},
      {2, "PDF file (.pdf)", 0, 5, {".pdf"}},
      {2, "HTML file (.htm, html)", 0, 5, {".htm", ".html"}},
      {2, "TXT file (.txt)", 0, 5, {".txt"}},
      // Newer groups; lines 0..19 above keep their meaning.
      {1, "More graphics", 3, 3, {}},
      {2, "WebP (.webp)", 0, 5, {".webp"}},
      {2, "AVIF (.avif)", 0, 5, {".avif"}},
      {2, "SVG (.svg)", 0, 5, {".svg"}},
      {1, "More audio and video", 2, 2, {}},
      {2, "MP4 video (.mp4, .m4v)", 0, 5, {".mp4", ".m4v"}},
      {2, "WebM (.webm)", 0, 5, {".webm"}},
      {2, "Ogg and Opus (.ogg, .oga, .opus)", 0, 5, {".ogg", ".oga", ".opus"}},
      {2, "M4A and AAC (.m4a, .aac)", 0, 5, {".m4a", ".aac"}},
      {2, "FLAC (.flac)", 0, 5, {".flac"}},
      {1, "Web page files", 4, 4, {}},
      {2, "JavaScript (.js, .mjs)", 0, 5, {".js", ".mjs"}},
      {2, "CSS (.css)", 0, 5, {".css"}},
      {2, "JSON (.json)", 0, 5, {".json"}},
      {2, "Fonts (.woff, .woff2, .ttf, .otf)", 0, 5, {".woff", ".woff2", ".ttf", ".otf"}},
  };
  return rows;
}

}  // namespace tessarine
