#pragma once

#include <QString>

#include <functional>

class QWidget;

// "Compare Workbooks...": asks for the old and the new workbook, compares them on the global
// thread pool under a window-modal status dialog and shows the result in a window of its own
// (or the reason in a warning titled "Compare Workbooks").
namespace WorkbookCompareRunner {

// finished hears, once the comparison has ended, a line that says how it went (the summary of
// what changed, or why it failed).
using Finished = std::function<void(const QString& line, bool failed)>;

void run(QWidget* parent, const QString& startPath, const Finished& finished = {});

// Compares the two files without asking for them.
void compare(
    QWidget* parent, const QString& oldPath, const QString& newPath, const Finished& finished = {});

} // namespace WorkbookCompareRunner
