#pragma once

#include <QLineEdit>
#include <QSpinBox>

// The up-down box of a check interval: its field takes digits only (no sign, blank or separator).
class TIntervalBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    QLineEdit* Field() const { return lineEdit(); }

protected:
    QValidator::State validate(QString& input, int& pos) const override {
        for (const QChar c : input)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return QValidator::Invalid;
        return QSpinBox::validate(input, pos);
    }
};
