#pragma once

#include "ui/common/TarnDlg.h"

struct Baseline;

namespace Ui {
class TimeRangeWidgets;
}

// Changes the start and end year of the caller's baseline record (not the database: the
// baseline dialog stores the record when it saves).
class TimeRangeDlg : public TarnDlg {
    Q_OBJECT

public:
    static constexpr int MinYear = 1800;
    static constexpr int MaxYear = 3799;

    TimeRangeDlg(Baseline& baseline, QWidget* parent = nullptr);
    ~TimeRangeDlg() override;

    TARN::okstat applyChanges() override;

public slots:
    void cancelClicked();

private:
    Ui::TimeRangeWidgets* _ui;
    Baseline& _baseline;
};
