#pragma once

#include <QString>

class QWidget;

// "Compare Workbooks...": asks for the old and the new workbook, compares them on the global
// thread pool under a window-modal status dialog and shows the result in a window of its own
// (or the reason in a warning titled "Compare Workbooks").
namespace WorkbookCompareRunner {

void run(QWidget* parent, const QString& startPath);

// Compares the two files without asking for them.
void compare(QWidget* parent, const QString& oldPath, const QString& newPath);

} // namespace WorkbookCompareRunner
