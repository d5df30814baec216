#pragma once

#include <QStringList>

// A project's baseline inputs and results as sorted lines keyed by Riffle names and years, never
// by database keys, every table read by position: two projects that hold the same data give the
// same lines whatever their keys, row order or column names.
QStringList dumpInputs(const QString& path);
QStringList dumpResults(const QString& path);
