#pragma once

#include "db/Records.h"
#include "ui/common/AttrAssignmentViewModel.h"

// The attribute values of one site.
class AggDivAttrViewModel : public AttrAssignmentViewModel<AggDivAttr> {
    Q_OBJECT

public:
    using AttrAssignmentViewModel<AggDivAttr>::AttrAssignmentViewModel;
};
