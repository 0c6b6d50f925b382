#pragma once

#include <QStringList>

// Shows texts to the operator as message boxes, one after the other, without
// blocking the caller: present() returns at once. A text equal to one still
// waiting for its box is not shown twice.
class ErrorPresenter {
public:
    virtual ~ErrorPresenter() = default;
    virtual void present(const QStringList& texts) = 0;
};
