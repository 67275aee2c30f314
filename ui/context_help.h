// Context help of the dialogs: F1 opens the topic of the control that has the focus (or the
// dialog's general topic), a right-click the dialog's own topic.
//
// User-interface thread only.
#pragma once

#include <QObject>
#include <functional>
#include <map>

class QWidget;

namespace corvane {

// Opens a help topic; tests put a recorder in place of the browser.
using HelpOpener = std::function<void(int topic)>;

class ContextHelp : public QObject {
public:
    // Watches `dialog` (and is owned by it). `otherTopic` is for a control without a topic of
    // its own; `rightClickTopic` for a right-click anywhere in the dialog.
    ContextHelp(QWidget* dialog, int otherTopic, int rightClickTopic);

    void SetTopic(QWidget* control, int topic) { m_topics[control] = topic; }
    void SetOpener(HelpOpener opener) { m_opener = std::move(opener); }
    void SetRightClickTopic(int topic) { m_rightClickTopic = topic; }

    // The topic F1 opens with `control` focused.
    [[nodiscard]] int TopicFor(const QWidget* control) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<const QWidget*, int> m_topics;
    int m_otherTopic;
    int m_rightClickTopic;
    HelpOpener m_opener;
};

}  // namespace corvane
