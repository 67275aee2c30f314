// Help: the HTML pages shipped with the client, opened in the user's browser with the topic
// number as the anchor, and the function-key help dialog.
//
// User-interface thread only.
#pragma once

#include <QString>
#include <QUrl>
#include <string>

class QWidget;

namespace corvane {

// Where the site installed the client (the site settings' install path); its help/ folder is
// searched after CORVANE_HELP_DIR.
void SetHelpInstallPath(const std::string& installPath);

// The folder that holds the pages: CORVANE_HELP_DIR when set, else <install path>/help,
// else ../share/corvane/help beside the program, else the source tree's data/help (a client
// run from its build folder). Empty when none of them exists.
[[nodiscard]] QString HelpDirectory();

// The page of a topic in `directory`, with the topic number as the fragment. Topics without a
// page of their own go to the index page.
[[nodiscard]] QUrl HelpTopicUrl(int topic, const QString& directory);

// Opens the topic in the browser; logs and does nothing else when no page is found.
void OpenHelpTopic(int topic);

// The function-key help dialog, modeless, for the originator of a session or for a user who
// joined it, naming the session and its server's display name. One at a time: asking again
// brings the open one to the front.
void ShowFunctionKeyHelp(QWidget* parent, bool collaborator, int sessionId,
                         const QString& displayName);

}  // namespace corvane
