#pragma once

#include "core/errorpresenter.h"

#include <QObject>
#include <QStringList>

class QMessageBox;

// Error boxes that never hold up the caller: each text gets a non-modal box
// (OK button, no icon, title "Sondral", the application's icon), and the next
// text of the sequence appears when the previous box is closed.
class MessageBoxPresenter : public QObject, public ErrorPresenter {
    Q_OBJECT
public:
    explicit MessageBoxPresenter(QObject* parent = nullptr);
    ~MessageBoxPresenter() override;

    void present(const QStringList& texts) override;
    bool isPresenting() const override;

    // The box on screen now, or nullptr.
    QMessageBox* currentBox() const { return m_current; }

private:
    void showNext();
    void boxDone(QMessageBox* box);

    QStringList m_pending;
    QMessageBox* m_current = nullptr;
};
