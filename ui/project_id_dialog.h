// The Project Identification dialog, shown first in stand-alone mode when the site file asks
// for it: one field, the project identifier sent with the login, taken on OK.
//
// User-interface thread only.
#pragma once

#include <QDialog>

#include "session/dialog_port.h"

class QLineEdit;

namespace corvane {

// The most characters the project identifier takes.
inline constexpr int kProjectIdLimit = 100;

class ProjectIdDialog : public QDialog {
public:
    ProjectIdDialog(const ClientSettings& settings, QWidget* parent);

    // The answer, once the dialog has finished.
    [[nodiscard]] LoginForm Form() const { return m_form; }

private:
    LoginForm m_form;
    QLineEdit* m_projectId = nullptr;
};

}  // namespace corvane
