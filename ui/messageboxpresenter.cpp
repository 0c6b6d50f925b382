#include "ui/messageboxpresenter.h"

#include <QApplication>
#include <QTimer>

MessageBoxPresenter::MessageBoxPresenter(QObject* parent) : QObject(parent) {}

MessageBoxPresenter::~MessageBoxPresenter() {
    clear();
}

Journal::Priority MessageBoxPresenter::priorityOf(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Critical:
        return Journal::Priority::Error;
    case QMessageBox::Warning:
        return Journal::Priority::Warning;
    default:
        return Journal::Priority::Notice;
    }
}

bool MessageBoxPresenter::post(OperatorMessage message) {
    Journal::write(message.priority, message.title + QStringLiteral(": ") + message.text);
    for (const OperatorMessage& waiting : m_queue) {
        if (waiting.window == message.window && waiting.icon == message.icon &&
            waiting.title == message.title && waiting.text == message.text)
            return false;
    }
    if (m_queue.size() >= MaxWaiting)
        return false;
    m_queue.append(std::move(message));
    if (!m_showing)
        showNext();
    return true;
}

void MessageBoxPresenter::postFailures(const QStringList& texts) {
    for (const QString& text : texts)
        post({QMessageBox::NoIcon,
              QStringLiteral("Sondral"),
              text,
              Journal::Priority::Error,
              nullptr,
              {}});
}

void MessageBoxPresenter::showNext() {
    while (!m_showing && !m_queue.isEmpty()) {
        const OperatorMessage& message = m_queue.front();
        QWidget* window = message.window;
        auto* box =
            new QMessageBox(message.icon, message.title, message.text, QMessageBox::Ok, window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowIcon(QApplication::windowIcon());
        m_current = box;
        m_currentObject = box;
        m_showing = true;
        // OK, Escape or the close button give finished(); a box deleted with
        // its dialog gives only destroyed(). Either ends this box, once.
        const QObject* object = box;
        connect(box, &QMessageBox::finished, this, [this, object] { boxDone(object, true); });
        connect(box, &QObject::destroyed, this, [this, object] { boxDone(object, false); });
        if (window && !window->isVisible()) {
            // A dialog still loading: the box goes on top of it once the
            // dialog is shown, which its opener does right after loading.
            QTimer::singleShot(0, box, [box] { box->open(); });
        } else if (window) {
            // Window-modal to its dialog, and no event loop of its own.
            box->open();
        } else {
            box->setWindowModality(Qt::NonModal);
            box->show();
        }
    }
}

void MessageBoxPresenter::boxDone(const QObject* box, bool closedByOperator) {
    if (!m_showing || box != m_currentObject)
        return;
    m_current = nullptr;
    m_currentObject = nullptr;
    if (closedByOperator) {
        finishFront(true);
        showNext();
        return;
    }
    // Deleted with its dialog: the dialog is half destroyed now, so its
    // step must not run, and the next box waits for the event loop.
    finishFront(false);
    QTimer::singleShot(0, this, &MessageBoxPresenter::showNext);
}

void MessageBoxPresenter::finishFront(bool runFollowUp) {
    m_showing = false;
    if (m_queue.isEmpty())
        return; // cleared meanwhile
    const OperatorMessage message = m_queue.takeFirst();
    // The step that follows belongs to the dialog; a dialog that has gone
    // has nothing left to do.
    if (runFollowUp && message.closed && message.window)
        message.closed();
}

void MessageBoxPresenter::clear() {
    m_queue.clear();
    m_showing = false;
    m_currentObject = nullptr;
    if (QMessageBox* box = m_current) {
        m_current = nullptr;
        box->disconnect(this);
        delete box;
    }
}
