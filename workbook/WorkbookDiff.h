#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace Workbook {

class SheetTable;

// How one column (one object.slot of the river model) of a sheet compares. For a changed column
// the figures are over the months whose values differ by more than the tolerance; for an added or
// removed one, over the months it has a value in (against nothing).
struct ColumnComparison {
    enum Status { Equal, Changed, Added, Removed };

    QString name;
    Status status = Equal;
    int changedMonths = 0;
    QString firstMonth; // YYYY-MM (or the row's key when it isn't a date); empty when none
    QString lastMonth;
    // NaN when there is no such figure: a difference between a value and a missing one has no
    // size, and a relative difference needs an old value other than 0.
    double maxAbs = 0;
    double maxRel = 0;
    double oldTotal = 0; // sums of the numbers; NaN for the side that has no such column
    double newTotal = 0;
};

struct SheetComparison {
    enum Status { Equal, Changed, Added, Removed };

    QString name;
    Status status = Equal;
    bool byFingerprint = false; // found equal by the recorded content hashes alone
    int oldColumns = 0;
    int newColumns = 0;
    std::vector<ColumnComparison> columns; // the columns that aren't equal, in sheet order

    int count(ColumnComparison::Status status) const;
    // The changed column with the largest absolute difference; null when none has one.
    const ColumnComparison* largestChange() const;
};

struct WorkbookComparison {
    QString oldPath;
    QString newPath;
    double tolerance = 0;
    std::vector<SheetComparison> sheets;

    bool equal() const;
    // {"equal": ..., "sheets": [{"name", "status", "byFingerprint", "columns": [{"name", "status",
    // "changedMonths", "firstMonth", "lastMonth", "maxAbs", "maxRel", "oldTotal",
    // "newTotal"}]}]}; figures that don't exist are null.
    QByteArray toJson() const;
    // For people: a line a sheet, then the columns that aren't equal with their figures,
    // tab-separated, so that the text pastes into a spreadsheet.
    QString toText() const;
    // One line for the diagnostic area after an export into an existing workbook:
    // "Compared with the previous workbook: 'Name': 3 of 5,501 columns changed, largest change
    // 12.5 in Site:User.Slot", or "...: No value changed".
    QString summary() const;
};

// Compares workbooks at the river model's level: sheets by name (without regard to case),
// columns by their name in row 0, rows by the date in column 0. Values that differ by no more
// than the tolerance are equal; a missing value equals only a missing value; texts compare as
// texts. Sheets whose recorded content hashes ("Tarnhelm Sheet Hash: <sheet>") are the same in
// both books, and still describe the sheets' parts, are equal without their cells being read. One
// sheet of each book is in memory at a time; the two are read at the same time, on two threads.
class WorkbookDiff {
public:
    using Progress = std::function<void(const QString& sheet, int done, int total)>;

    explicit WorkbookDiff(double tolerance = 0)
        : _tolerance(tolerance)
    {
    }

    void setProgress(Progress progress) { _progress = std::move(progress); }
    // Off: every sheet is read, whatever the fingerprints say (for books edited elsewhere
    // after the export, whose fingerprints still describe what was exported).
    void setUseFingerprints(bool use) { _useFingerprints = use; }
    // While set, a running comparison stops and fails with "The comparison was stopped.".
    void setCancelFlag(const std::atomic_bool* cancel) { _cancel = cancel; }

    // False with the reason when either book can't be read.
    bool compareFiles(
        const QString& oldPath, const QString& newPath, WorkbookComparison* result, QString* error);

    SheetComparison compareTables(
        const QString& name, const SheetTable& oldSheet, const SheetTable& newSheet) const;

private:
    bool cancelled() const { return _cancel && _cancel->load(); }

    double _tolerance;
    bool _useFingerprints = true;
    Progress _progress;
    const std::atomic_bool* _cancel = nullptr;
};

} // namespace Workbook
