#include "ui/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "config/log.h"

namespace corvane {

namespace {

QString g_installPath;

struct TopicRange {
    int first;
    int last;
    const char* page;
};

// Which page explains which topics.
constexpr TopicRange kTopicPages[] = {
    {2350, 2350, "session_login.html"},   {10400, 10402, "session_login.html"},
    {10405, 10413, "session_login.html"}, {10432, 10432, "session_login.html"},
    {10414, 10415, "exit.html"},          {10416, 10429, "properties.html"},
    {10433, 10435, "properties.html"},
};

bool IsDirectory(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

// The pages in the source tree, for a client that runs from its build folder.
QString SourceTreeHelp() { return QString::fromUtf8(CORVANE_SOURCE_HELP_DIR); }

const char* const kOriginatorKeys[] = {
    "Shift-F1 -- Help",
    "Shift-F2       -- Disable input from collaboration sessions",
    "Shift-Ctrl-F2 -- Disable / Disconnect Collaboration",
    "Shift-F3       -- Enable input from collaboration sessions",
    "Shift-Ctrl-F3 -- Enable collaboration",
    "Shift-F4       -- Exit / Disconnect from server",
    "Shift-F5       -- Toggle remote mouse ctrl. (Local Mode)",
    "Shift-F7       -- Previous compression type",
    "Shift-F8       -- Next compression type",
    "Shift-F9       -- Toggle cursor colors",
    "Shift-F11     -- Grab / release the keyboard",
    "Shift-F12     -- Session Statistics",
    "Alt+Enter    -- Toggle Full Screen",
};

const char* const kCollaboratorKeys[] = {
    "Shift-F1   -- Help",
    "Shift-F4   -- Exit / Disconnect from server",
    "Shift-F5   -- Toggle remote mouse control",
    "Shift-F11 -- Grab / release the keyboard",
    "Shift-F12 -- Session Statistics",
};

}  // namespace

void SetHelpInstallPath(const std::string& installPath) { g_installPath = QString::fromStdString(installPath); }

QString HelpDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("CORVANE_HELP_DIR");
    if (IsDirectory(fromEnvironment)) return fromEnvironment;
    if (!g_installPath.isEmpty() && IsDirectory(g_installPath + "/help")) return g_installPath + "/help";
    if (QCoreApplication::instance()) {
        const QString besideProgram = QCoreApplication::applicationDirPath() + "/../share/corvane/help";
        if (IsDirectory(besideProgram)) return QDir::cleanPath(besideProgram);
    }
    const QString source = SourceTreeHelp();
    if (IsDirectory(source)) return source;
    return {};
}

QUrl HelpTopicUrl(int topic, const QString& directory) {
    const char* page = "index.html";
    for (const TopicRange& range : kTopicPages) {
        if (topic >= range.first && topic <= range.last) {
            page = range.page;
            break;
        }
    }
    QUrl url = QUrl::fromLocalFile(QDir(directory).filePath(page));
    url.setFragment(QString::number(topic));
    return url;
}

void OpenHelpTopic(int topic) {
    const QString directory = HelpDirectory();
    const QUrl url = HelpTopicUrl(topic, directory);
    if (directory.isEmpty() || !QFileInfo::exists(url.toLocalFile())) {
        DebugPrint(0, "Help topic %d: no help page found (set CORVANE_HELP_DIR)\n", topic);
        return;
    }
    if (!QDesktopServices::openUrl(url)) {
        DebugPrint(0, "Help topic %d: the browser could not be started for %s\n", topic,
                   url.toString().toLocal8Bit().constData());
    }
}

void ShowFunctionKeyHelp(QWidget* parent, bool collaborator, int sessionId, const QString& displayName) {
    static QPointer<QDialog> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new QDialog(parent);
    open = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->setWindowTitle(collaborator ? "Collaboration (Collaborator) Help" : "Collaboration (Originator) Help");

    auto* column = new QVBoxLayout(dialog);
    auto* session = new QHBoxLayout;
    session->addWidget(new QLabel("Session I.D.", dialog));
    auto* sessionField = new QLabel(QString::number(sessionId), dialog);
    sessionField->setObjectName("sessionId");
    session->addWidget(sessionField);
    session->addStretch();
    column->addLayout(session);
    // The name comes from the connection file: shown as it is, never as markup.
    auto* display = new QLabel("Display  " + displayName, dialog);
    display->setTextFormat(Qt::PlainText);
    display->setObjectName("display");
    column->addWidget(display);
    column->addWidget(new QLabel("Function Keys", dialog));
    column->addWidget(new QLabel(collaborator ? "(Collaborator)" : "(Originator)", dialog));
    if (collaborator) {
        for (const char* line : kCollaboratorKeys) column->addWidget(new QLabel(line, dialog));
    } else {
        for (const char* line : kOriginatorKeys) column->addWidget(new QLabel(line, dialog));
    }
    auto* ok = new QPushButton("OK", dialog);
    ok->setDefault(true);
    column->addWidget(ok, 0, Qt::AlignHCenter);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::close);
    QObject::connect(dialog, &QObject::destroyed, [] {
        DebugPrint(1, "WM_DESTROY from FunctionDlg!!!\n");
        DebugPrint(1, "Function Dialog exiting\n");
    });

    dialog->adjustSize();
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace corvane
