#pragma once

#include "ui/common/TARNViewModel.h"

// Records with a display order (Ord) and an ID: moving rows renumbers Ord so that it follows
// the new order, and a saved record can be put back in place by its ID.
template<typename T, int T::*Id>
class OrderedViewModel : public TARNViewModel<T> {
public:
    using TARNViewModel<T>::TARNViewModel;

    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
        const QModelIndex& destinationParent, int destinationChild) override
    {
        if (!TARNViewModel<T>::moveRows(
                sourceParent, sourceRow, count, destinationParent, destinationChild))
            return false;
        renumberOrd();
        return true;
    }

    void renumberOrd()
    {
        for (int i = 0; i < this->_records.size(); ++i)
            this->_records[i].Ord = i;
    }

    // Overwrites the record with the same ID in place; nothing happens without one.
    void replaceRecord(const T& record)
    {
        for (T& existing : this->_records) {
            if (existing.*Id == record.*Id) {
                existing = record;
                return;
            }
        }
    }
};
