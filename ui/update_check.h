// The update check: one asynchronous HTTP GET of "version" under the update
// server's address, answered by the server with "Harmonyfox:<major>.<minor>:OK".
// The outcome is posted as an UpdateCheckedEvent to the object that asked; if
// that object is gone by then, the outcome is dropped. Checks are started and
// delivered on the UI thread; the network work never blocks it.
#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QEvent>
#include <QString>

#include <cstdint>

class QObject;
class QWidget;
class SettingsStore;

// Outcomes of a check.
enum UpdateOutcome : int {
    kUpdateUnexpectedAnswer = 0,  // the server answered, but not with 200 or not in form
    kUpdateAvailable = 1,         // the server names another version
    kUpdateNoConnection = 2,      // no answer: connection, request or read failed
    kUpdateUpToDate = 3,          // the server names the running version
};

// The posted outcome of a check (the program's WM_UPDATE_CHECKED).
class UpdateCheckedEvent : public QEvent {
  public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 3);

    explicit UpdateCheckedEvent(int outcome) : QEvent(kType), m_outcome(outcome) {}
    int Outcome() const { return m_outcome; }

  private:
    int m_outcome;
};

// The outcome for a status-200 answer body (at most its first 1014 bytes are
// looked at, up to a zero byte) and the running packed version.
int ParseUpdateAnswer(QByteArrayView answer, uint32_t runningVersion);

// Whether the automatic check runs now: it is switched on and the local
// calendar date of lastUpdate (seconds since 1970 UTC, 0 when never) is not
// today's.
bool UpdateCheckDue(bool checkUpdate, uint32_t lastUpdate, const QDateTime& now);

// Asks the server at serverUrl (a base address; "version" is fetched under
// it) and later posts an UpdateCheckedEvent to receiver. Always reports
// exactly once, unless receiver is destroyed first.
void StartUpdateCheck(QObject* receiver, uint32_t version, const QString& serverUrl);

// What the main window does with the outcome of its automatic check: 1 opens
// the update dialog showing the news, parented to the active window; 3
// stores now as "LastUpdate"; 0 and 2 do nothing, so the next start asks again.
void HandleAutomaticUpdateOutcome(QWidget* window, SettingsStore& store, uint32_t version,
                                  int outcome);

// The main window's start-up check: when due (UpdateCheckDue with the stored
// "LastUpdate"), starts a check whose outcome goes to
// HandleAutomaticUpdateOutcome through a helper owned by window. store must
// outlive window. Returns whether a check was started.
bool StartAutomaticUpdateCheck(QWidget* window, SettingsStore& store, uint32_t version,
                               bool checkUpdate,
                               const QDateTime& now = QDateTime::currentDateTime());
