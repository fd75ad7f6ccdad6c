#pragma once

#include <QString>

// Path rules that the operator's texts are checked with. Windows ends a folder at "\" or
// ":" ("c:conf.txt" lies in the current folder of drive c:); elsewhere at "/". Both rule
// sets are plain text functions, so either can be checked anywhere.
namespace Platform {

enum class PathStyle { Windows, Posix };

#ifdef Q_OS_WIN
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// Everything up to and including the last separator; empty when there is none.
QString folderPart(const QString &path, PathStyle style = kNativePathStyle);
// Everything after the last separator.
QString fileNamePart(const QString &path, PathStyle style = kNativePathStyle);
// Where the switch's configuration is saved unless the operator says otherwise:
// "c:\conffile.txt" on Windows, the home folder's "conffile.txt" elsewhere.
QString defaultConfigFileName(PathStyle style = kNativePathStyle);

} // namespace Platform
