#pragma once

#include <QDoubleValidator>

// A double validator that also accepts the empty text, so that a numeric cell can be cleared to
// "no value".
class NullableDoubleValidator : public QDoubleValidator {
    Q_OBJECT

public:
    explicit NullableDoubleValidator(QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
};
