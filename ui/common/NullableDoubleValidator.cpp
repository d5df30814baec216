#include "ui/common/NullableDoubleValidator.h"

NullableDoubleValidator::NullableDoubleValidator(QObject* parent)
    : QDoubleValidator(parent)
{
}

QValidator::State NullableDoubleValidator::validate(QString& input, int& pos) const
{
    if (input.isEmpty())
        return Acceptable;
    return QDoubleValidator::validate(input, pos);
}
