#pragma once

#include "db/Records.h"
#include "ui/common/AttrAssignmentViewModel.h"

// The attribute values of one water user.
class WaterUserAttrViewModel : public AttrAssignmentViewModel<WaterUserAttr> {
    Q_OBJECT

public:
    using AttrAssignmentViewModel<WaterUserAttr>::AttrAssignmentViewModel;
};
