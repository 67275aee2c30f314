// How the session tells the user what is happening: the title, sounds, the progress window
// and its notices, and the pauses that let a person read them.
//
// Any thread may call; every call returns at once except PauseForUser, which only the
// session thread (start-up and login) and the receive thread's reconnection use.
#pragma once

#include <string>

namespace corvane {

class NoticePort {
public:
    virtual ~NoticePort() = default;

    virtual void SetTitle(const std::string& title) = 0;
    // The server's bell: frequency 0 sounds nothing.
    virtual void Bell(int frequencyHz, int milliseconds) = 0;
    // The client's own alert that goes with an error it shows.
    virtual void ErrorBeep() = 0;

    // The progress window: shown or hidden.
    virtual void ShowProgress(bool shown) = 0;
    // The client ends on an error just posted: the progress window offers Exit.
    virtual void ShowFatalError() = 0;
    // The notice left on the progress window when a session was lost or closed, with its Exit
    // button (the user's press of Exit ends the client).
    virtual void ShowSessionEndNotice(const std::string& title, const std::string& line) = 0;
    // The session is reconnecting (input is held back meanwhile), or runs again.
    virtual void ShowReconnecting(bool reconnecting) = 0;
    // Minimises the main window and the pop-up windows.
    virtual void Minimise() = 0;

    // A pause that lets the user read what is shown (an error before the client ends, the
    // steps of a failed login). A host without a person returns at once.
    virtual void PauseForUser(int milliseconds) = 0;
};

}  // namespace corvane
