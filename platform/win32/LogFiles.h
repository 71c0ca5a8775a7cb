// The file calls the help diagnostics log needs, kept safe on a shared machine: no call
// follows a symbolic link, writes go only into plain files, and this user's own log
// folder is one nobody else can write into.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// True when something (a file, a folder, a link, even a dangling one) has this name.
bool LogPathExists(const QString& path);
// Makes a plain file of this user's readable and writable by its owner again; anything
// else (a link, another user's file) is left as it is.
void MakeLogFileWritable(const QString& path);
// Removes the name: a symbolic link itself, never the file it points to.
void RemoveLogPath(const QString& path);
// Appends the bytes to the file, made for this user alone when missing; only into a
// plain file, never through a link. The bytes are asked for once the plain file is open.
// False when it could not be opened or is no plain file.
bool AppendLogBytes(const QString& path, const std::function<QByteArray()>& bytes);
// True when a file of this name can be made (a probe: made and removed at once).
bool ProbeNewFile(const QString& fileName);
// This user's own folder "<parent>/<prefix><user ID>", made when missing; empty when it
// cannot be made, is no real folder, or is not this user's. Its rights are narrowed to
// the owner's when others had any.
QString OwnUserFolder(const QString& parent, const QString& prefix);
