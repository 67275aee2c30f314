#include "ui/project_id_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

ProjectIdDialog::ProjectIdDialog(const ClientSettings& settings, QWidget* parent)
    : QDialog(parent), m_form{settings, false, kExitLoginCancelled} {
    setWindowTitle("Project Identification");
    setModal(true);
    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Project I.D.", this));
    m_projectId = new QLineEdit(QString::fromStdString(settings.projectID), this);
    m_projectId->setObjectName("projectId");
    m_projectId->setMaxLength(kProjectIdLimit);
    row->addWidget(m_projectId);
    column->addLayout(row);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancel");
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    column->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_form.settings.projectID = m_projectId->text().toStdString();
        m_form.confirmed = true;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_projectId->setFocus();
}

}  // namespace corvane
