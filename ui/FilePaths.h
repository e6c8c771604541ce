#pragma once
// File paths and file filters at the widget boundary, one way for every
// dialog. A path is bytes in the file system's encoding (UTF-8 on Linux,
// QFile::encodeName / decodeName), never Latin-1 as the box's texts are.

#include <QString>
#include <QStringList>

#include <string>

// A path typed or picked in a widget, as the work code opens it.
std::string PathBytes(const QString& path);
// A path from the work code, for a widget.
QString PathText(const std::string& path);
// A notice that may name a file: decoded as a path where it is valid UTF-8,
// else as a box text (Latin-1), so neither kind shows as the wrong characters.
QString NoticeText(const std::string& text);

// "Bravik Hex|*.hex|All Files|*.*" as Qt name filters: each description with
// its patterns, "*.*" as "*" (every file, with or without a dot), a pattern
// without "*" (".CFF") taken as an extension, and upper and lower case of each
// extension, as the file system tells them apart.
QStringList NameFilters(const std::string& filter);
