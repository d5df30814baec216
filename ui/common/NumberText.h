#pragma once

#include <QString>

// Numbers as people read them in tables, tooltips and messages: at most three decimals for
// values of 1 and more (478.276, not 478.27634000000006), four significant digits below 1, in
// the desktop's locale; trailing zeros go. Values keep their full precision wherever they are
// stored or copied.
namespace NumberText {

QString readable(double value);
// A fraction as a percentage ("12.5 %").
QString percent(double fraction);

} // namespace NumberText
