#pragma once
// File names as the recorder uses them: bare names in the current
// directory that match regardless of letter case, as on the system the
// recorder's files come from ("vindo.qvx" and "Vindo.qvx" are one file).

#include <QString>

/// For a bare name (no folder part): the real name of the file in the
/// current directory that matches it regardless of case; an exact match
/// wins. A name with a folder part, or one that matches nothing, is
/// returned as given.
QString resolveBareName(const QString &name);

/// The same lookup for a name inside `dir`; returns the full path
/// (`dir` + "/" + the real or the given name).
QString resolveNameIn(const QString &dir, const QString &name);
