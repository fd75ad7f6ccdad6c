#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The fixtures' files.

// The whole file; "<cannot read PATH>" when it cannot be read, so that a missing file never
// passes for an empty one.
QByteArray readFile(const QString &path);
// Writes the whole file, replacing it; false when it cannot.
bool writeFile(const QString &path, const QByteArray &bytes);

// A program file made at test time: a stub followed by a payload of the given files (payload
// name and bytes), packed by the build's tessaro-pack as folder/name. Its path, or empty when
// packing failed.
QString packFixture(const QString &folder, const QString &name, const QList<QPair<QString, QByteArray>> &files);
