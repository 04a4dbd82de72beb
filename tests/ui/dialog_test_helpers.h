// Helpers for the dialog tests: acting on a modal dialog once it is up, and a
// loopback HTTP server with a fixed answer.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

// Runs act on the next modal widget that is not `except`, as soon as it is
// up; polls from the event loop that the modal run spins.
inline void WhenModal(std::function<void(QWidget*)> act, QWidget* except = nullptr) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, except] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == except || !modal->isVisible()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

// A full HTTP answer with the given status and body.
inline QByteArray HttpAnswer(int status, const QByteArray& body) {
    return "HTTP/1.0 " + QByteArray::number(status) + " Test\r\nContent-Type: text/plain\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

// Answers every request on 127.0.0.1 with the same bytes and closes the
// connection; remembers what it was asked.
class LoopbackHttp : public QObject {
  public:
    explicit LoopbackHttp(QByteArray answer) : m_answer(std::move(answer)) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString Url() const {
        return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
    }
    const std::vector<QByteArray>& Requests() const { return m_requests; }

  private:
    void Serve(QTcpSocket* socket) {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n")) {
            return;
        }
        m_requests.push_back(pending);
        m_pending.remove(socket);
        socket->write(m_answer);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_answer;
    QHash<QTcpSocket*, QByteArray> m_pending;
    std::vector<QByteArray> m_requests;
};

// A loopback address on which nobody listens.
inline QString RefusingUrl() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}
