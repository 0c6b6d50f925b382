#include "ui/messageboxpresenter.h"

#include <QApplication>
#include <QMessageBox>

MessageBoxPresenter::MessageBoxPresenter(QObject* parent) : QObject(parent) {}

MessageBoxPresenter::~MessageBoxPresenter() {
    m_pending.clear();
    if (QMessageBox* box = m_current) {
        m_current = nullptr;
        box->disconnect(this);
        delete box;
    }
}

void MessageBoxPresenter::present(const QStringList& texts) {
    m_pending << texts;
    if (!m_current)
        showNext();
}

bool MessageBoxPresenter::isPresenting() const {
    return m_current != nullptr || !m_pending.isEmpty();
}

void MessageBoxPresenter::showNext() {
    if (m_pending.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Sondral"),
                                m_pending.takeFirst(), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setWindowIcon(QApplication::windowIcon());
    m_current = box;
    // OK, Escape or the close button give finished(); a box deleted from
    // outside gives only destroyed(). Either ends this box, once.
    connect(box, &QMessageBox::finished, this, [this, box] { boxDone(box); });
    connect(box, &QObject::destroyed, this, [this, box] { boxDone(box); });
    box->show();
}

void MessageBoxPresenter::boxDone(QMessageBox* box) {
    if (box != m_current)
        return;
    m_current = nullptr;
    showNext();
}
