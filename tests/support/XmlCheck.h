#pragma once

#include <QString>

// Reads an XML file with Python's standard library parser (expat), a reader independent of
// the one that wrote it. Returns what it found wrong with the file, or an empty text when the
// file is well-formed XML.
QString xmlWellFormedProblem(const QString& path);
