// CScanSession: what the window knows of the scan it started: whether it
// runs, was stopped or is over, how long it took, how many of its files the
// user has deleted since; and the status bar's text that says so. The engine's
// counters stay with the scan's owner; the session is only handed them.
// UI thread only.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdint>

#include "results_model.h"

enum class ScanPhase { kNone, kScanning, kOver, kStopped };

// What the status bar counts.
struct ScanFigures {
    int32_t found = 0;    // files found by the scan, less those deleted since
    int32_t pairs = 0;    // pairs listed now (deleted ones gone, filtered ones counted)
    int32_t skipped = 0;  // files that gave no fingerprint
};

// "Ready"; "Scanning…"; "N files, M duplicate pairs, K skipped, T s" once
// over, the same after "Stopped: " when stopped.
QString ScanStatusText(ScanPhase phase, const ScanFigures& figures, double seconds);

class CScanSession {
  public:
    // A scan starts now.
    void Begin();
    // The user stopped the scan; nothing happens unless one runs.
    void Stop();
    // Turns a running scan into an ended one when running is false. True
    // when the scan ended with this call.
    bool Poll(bool running);
    // The user deleted files of this scan.
    void CountDeleted(int32_t files) { m_deleted += files; }

    ScanPhase phase() const { return m_phase; }
    // Seconds since Begin, frozen when the scan ended.
    double Seconds() const;
    // found is what the engine counted; the deletions are taken off here.
    QString StatusText(int32_t found, int32_t pairs, int32_t skipped) const;
    // found less the files deleted since the scan began, never below 0.
    int32_t FilesLeft(int32_t found) const;
    // What the empty list says: that the filter hides every pair (anyRows),
    // how to begin (anyFolders tells whether folders are chosen), that
    // pairs will come, or that none was found.
    QString ListHint(bool anyRows, bool anyFolders) const;
    // What the figures that have not arrived say in this phase.
    CResultsModel::PendingFigures PendingFigures() const;

  private:
    ScanPhase m_phase = ScanPhase::kNone;
    QElapsedTimer m_clock;
    qint64 m_endedMs = -1;
    int32_t m_deleted = 0;
};
