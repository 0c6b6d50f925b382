#pragma once

#include <QStringList>

// Shows texts to the operator as message boxes, one after the other, without
// blocking the caller: present() returns at once. isPresenting() stays true
// until the last box of the sequence has been closed.
class ErrorPresenter {
public:
    virtual ~ErrorPresenter() = default;
    virtual void present(const QStringList& texts) = 0;
    virtual bool isPresenting() const = 0;
};
