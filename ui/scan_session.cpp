#include "scan_session.h"

#include <QCoreApplication>

#include <algorithm>

QString ScanStatusText(ScanPhase phase, const ScanFigures& figures, double seconds) {
    switch (phase) {
        case ScanPhase::kNone:
            return QCoreApplication::translate("CScanSession", "Ready");
        case ScanPhase::kScanning:
            return QCoreApplication::translate("CScanSession", "Scanning\u2026");
        case ScanPhase::kOver:
        case ScanPhase::kStopped:
            break;
    }
    // One plural form per count: each is its own phrase.
    const QString counts =
        QCoreApplication::translate("CScanSession", "%n file(s)", nullptr, figures.found) +
        QStringLiteral(", ") +
        QCoreApplication::translate("CScanSession", "%n duplicate pair(s)", nullptr,
                                    figures.pairs) +
        QStringLiteral(", ") +
        QCoreApplication::translate("CScanSession", "%1 skipped, %2 s")
            .arg(figures.skipped)
            .arg(seconds, 0, 'f', 1);
    return phase == ScanPhase::kStopped
               ? QCoreApplication::translate("CScanSession", "Stopped: ") + counts
               : counts;
}

void CScanSession::Begin() {
    m_phase = ScanPhase::kScanning;
    m_clock.start();
    m_endedMs = -1;
    m_deleted = 0;
}

void CScanSession::Stop() {
    if (m_phase == ScanPhase::kScanning) {
        m_phase = ScanPhase::kStopped;
        m_endedMs = m_clock.elapsed();
    }
}

bool CScanSession::Poll(bool running) {
    if (m_phase != ScanPhase::kScanning || running) {
        return false;
    }
    m_phase = ScanPhase::kOver;
    m_endedMs = m_clock.elapsed();
    return true;
}

double CScanSession::Seconds() const {
    if (!m_clock.isValid()) {
        return 0.0;
    }
    return static_cast<double>(m_endedMs >= 0 ? m_endedMs : m_clock.elapsed()) / 1000.0;
}

int32_t CScanSession::FilesLeft(int32_t found) const {
    return std::max(found - m_deleted, 0);
}

QString CScanSession::StatusText(int32_t found, int32_t pairs, int32_t skipped) const {
    return ScanStatusText(m_phase, {FilesLeft(found), pairs, skipped}, Seconds());
}

QString CScanSession::ListHint(bool anyRows, bool anyFolders) const {
    if (anyRows) {
        return QCoreApplication::translate("CScanSession", "No pair matches the filter.");
    }
    switch (m_phase) {
        case ScanPhase::kNone:
            return anyFolders ? QCoreApplication::translate(
                                    "CScanSession",
                                    "Press Scan (F5) to search the chosen folders for "
                                    "duplicates, or choose other folders (Ctrl+O).")
                              : QCoreApplication::translate(
                                    "CScanSession",
                                    "To begin, choose the folders to search with File › "
                                    "Select folders (Ctrl+O).");
        case ScanPhase::kScanning:
            return QCoreApplication::translate("CScanSession",
                                               "Scanning… pairs appear here as they are found.");
        case ScanPhase::kOver:
        case ScanPhase::kStopped:
            break;
    }
    return QCoreApplication::translate("CScanSession",
                                       "No duplicates found. Scan (F5) searches again.");
}

CResultsModel::PendingFigures CScanSession::PendingFigures() const {
    switch (m_phase) {
        case ScanPhase::kOver:
            return CResultsModel::PendingFigures::kFailed;
        case ScanPhase::kStopped:
            return CResultsModel::PendingFigures::kStopped;
        case ScanPhase::kNone:
        case ScanPhase::kScanning:
            break;
    }
    return CResultsModel::PendingFigures::kMayArrive;
}
