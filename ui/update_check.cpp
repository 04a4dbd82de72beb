#include "update_check.h"

#include <QApplication>
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include "settings_store.h"
#include "update_dlg.h"

namespace {

constexpr QByteArrayView kAnswerPrefix = "Harmonyfox:";
constexpr qsizetype kMaxAnswer = 1014;  // bytes of the answer that are looked at
constexpr int kHttpOk = 200;
// A server that accepts the connection and then says nothing must not keep
// the check alive for ever.
constexpr int kTransferTimeoutMs = 30000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number at text[i], read as the C library's atoi does (leading blanks,
// an optional sign, digits), without its undefined overflow.
int64_t LeadingNumber(QByteArrayView text, qsizetype i) {
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr int64_t kCap = int64_t{1} << 40;
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < kCap) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
    }
    return negative ? -value : value;
}

// Uses the desktop's proxy settings for the check alone.
class SystemProxyFactory : public QNetworkProxyFactory {
  public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        return QNetworkProxyFactory::systemProxyForQuery(query);
    }
};

// One check in flight; deletes itself after reporting.
class UpdateRequest : public QObject {
  public:
    // Owned by the application, so a check still running at exit is cleaned up.
    UpdateRequest(QObject* receiver, uint32_t version)
        : QObject(QCoreApplication::instance()), m_receiver(receiver), m_version(version) {
        m_manager.setProxyFactory(new SystemProxyFactory);
        m_manager.setCookieJar(nullptr);
    }

    void Start(const QUrl& url) {
        if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https")) {
            Finish(kUpdateNoConnection);
            return;
        }
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Harmonyfox"));
        request.setRawHeader("Accept", "text/*");
        request.setRawHeader("Pragma", "no-cache");
        request.setRawHeader("Cache-Control", "no-cache");
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute,
                             QNetworkRequest::Manual);
        request.setTransferTimeout(kTransferTimeoutMs);
        m_reply = m_manager.get(request);
        connect(m_reply, &QNetworkReply::readyRead, this, &UpdateRequest::OnReadyRead);
        connect(m_reply, &QNetworkReply::finished, this, &UpdateRequest::OnFinished);
    }

  private:
    int Status() const {
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        return status.isValid() ? status.toInt() : -1;
    }

    void Take() { m_body += m_reply->read(kMaxAnswer - m_body.size()); }

    void OnReadyRead() {
        if (m_done || Status() != kHttpOk) {
            return;
        }
        Take();
        // Enough to decide; the rest of a long answer is never needed.
        if (m_body.size() >= kMaxAnswer) {
            Finish(ParseUpdateAnswer(m_body, m_version));
        }
    }

    void OnFinished() {
        if (m_done) {
            return;
        }
        const int status = Status();
        if (status < 0) {
            Finish(kUpdateNoConnection);
        } else if (status != kHttpOk) {
            Finish(kUpdateUnexpectedAnswer);
        } else if (m_reply->error() != QNetworkReply::NoError) {
            Finish(kUpdateNoConnection);  // the answer broke off
        } else {
            Take();
            Finish(ParseUpdateAnswer(m_body, m_version));
        }
    }

    void Finish(int outcome) {
        if (m_done) {
            return;
        }
        m_done = true;
        if (m_receiver) {
            QCoreApplication::postEvent(m_receiver, new UpdateCheckedEvent(outcome));
        }
        if (m_reply != nullptr && m_reply->isRunning()) {
            m_reply->abort();
        }
        deleteLater();
    }

    QNetworkAccessManager m_manager;
    QPointer<QObject> m_receiver;
    uint32_t m_version;
    QNetworkReply* m_reply = nullptr;
    QByteArray m_body;
    bool m_done = false;
};

// Receives the main window's automatic check and hands it on.
class AutomaticCheckReceiver : public QObject {
  public:
    AutomaticCheckReceiver(QWidget* window, SettingsStore& store, uint32_t version)
        : QObject(window), m_window(window), m_store(store), m_version(version) {}

    bool event(QEvent* event) override {
        if (event->type() != UpdateCheckedEvent::kType) {
            return QObject::event(event);
        }
        const int outcome = static_cast<UpdateCheckedEvent*>(event)->Outcome();
        deleteLater();
        HandleAutomaticUpdateOutcome(m_window, m_store, m_version, outcome);
        return true;
    }

  private:
    QWidget* m_window;
    SettingsStore& m_store;
    uint32_t m_version;
};

}  // namespace

int ParseUpdateAnswer(QByteArrayView answer, uint32_t runningVersion) {
    answer = answer.first(std::min(answer.size(), kMaxAnswer));
    // The answer is text: it ends at a zero byte.
    if (const qsizetype zero = answer.indexOf('\0'); zero >= 0) {
        answer = answer.first(zero);
    }
    if (!answer.startsWith(kAnswerPrefix)) {
        return kUpdateUnexpectedAnswer;
    }
    const qsizetype p = kAnswerPrefix.size();
    uint32_t server = static_cast<uint32_t>(LeadingNumber(answer, p)) << 16;
    if (const qsizetype point = answer.indexOf('.', p); point >= 0) {
        server |= static_cast<uint32_t>(LeadingNumber(answer, point + 1)) & 0xFFFFu;
    }
    const qsizetype colon = p + 1 <= answer.size() ? answer.indexOf(':', p + 1) : -1;
    if (colon < 0) {
        return kUpdateUnexpectedAnswer;
    }
    if (answer.sliced(colon + 1).startsWith("OK")) {
        return server == runningVersion ? kUpdateUpToDate : kUpdateAvailable;
    }
    return kUpdateUnexpectedAnswer;
}

bool UpdateCheckDue(bool checkUpdate, uint32_t lastUpdate, const QDateTime& now) {
    if (!checkUpdate) {
        return false;
    }
    const QDate last = QDateTime::fromSecsSinceEpoch(lastUpdate).toLocalTime().date();
    return last != now.toLocalTime().date();
}

void StartUpdateCheck(QObject* receiver, uint32_t version, const QString& serverUrl) {
    QUrl base(serverUrl);
    if (!base.path().endsWith(u'/')) {
        base.setPath(base.path() + u'/');
    }
    auto* request = new UpdateRequest(receiver, version);
    request->Start(base.resolved(QUrl(QStringLiteral("version"))));
}

void HandleAutomaticUpdateOutcome(QWidget* window, SettingsStore& store, uint32_t version,
                                  int outcome) {
    if (outcome == kUpdateAvailable) {
        QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : window;
        CUpdateDlg dialog(store, version, kUpdateAvailable, parent);
        dialog.exec();
    } else if (outcome == kUpdateUpToDate) {
        store.WriteLastUpdate(NowSecondsSince1970());
    }
}

bool StartAutomaticUpdateCheck(QWidget* window, SettingsStore& store, uint32_t version,
                               bool checkUpdate, const QDateTime& now) {
    if (!UpdateCheckDue(checkUpdate, store.ReadLastUpdate(), now)) {
        return false;
    }
    auto* receiver = new AutomaticCheckReceiver(window, store, version);
    StartUpdateCheck(receiver, version, store.ReadVendorLinks().updateServer);
    return true;
}
