#pragma once

#include <QString>

namespace tessarine {

// The application folder, ending in "/": where the state files live.
// Empty until the main window (or the terminal program) sets it.
const QString& appDir();

// Sets the application folder once the program knows it (see locateAppDir).
void setAppDir(const QString& dir);

// The folder the running copy keeps its state in: beside the executable,
// or, for an installed copy (executable in `installBinDir`), the per-user
// data folder. Both end in "/".
QString locateAppDir(const QString& executableDir, const QString& installBinDir);

// locateAppDir for this process, with the install prefix it was built for.
QString locateAppDirForThisProcess();

// appDir() + "GetFiles/": the default output folder.
QString defaultOutputFolder();

}  // namespace tessarine
