#include "ui/context_help.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QWidget>

#include "ui/help.h"

namespace corvane {

ContextHelp::ContextHelp(QWidget* dialog, int otherTopic, int rightClickTopic)
    : QObject(dialog), m_otherTopic(otherTopic), m_rightClickTopic(rightClickTopic), m_opener(OpenHelpTopic) {
    // Key and context-menu events reach the focused control first: the filter watches the
    // whole application and keeps to this dialog's widgets.
    qApp->installEventFilter(this);
}

int ContextHelp::TopicFor(const QWidget* control) const {
    for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
        if (auto found = m_topics.find(w); found != m_topics.end()) return found->second;
    }
    return m_otherTopic;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* dialog = qobject_cast<QWidget*>(parent());
    if (widget == nullptr || dialog == nullptr || widget->window() != dialog) return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        m_opener(TopicFor(widget));
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        m_opener(m_rightClickTopic);
        return true;
    }
    return false;
}

}  // namespace corvane
