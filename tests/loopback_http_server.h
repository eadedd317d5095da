#pragma once

// A real HTTP server on 127.0.0.1 for tests, served by the test's own event
// loop. Each path answers with fixed raw bytes, so that a test can send any
// header, no length, a broken reply, or nothing at all.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

namespace vxtest {

class LoopbackHttpServer {
public:
    // Never answers, and keeps the connection open.
    static QByteArray Silent() { return QByteArrayLiteral("(silent)"); }

    static QByteArray Ok(const QByteArray& body, const QByteArray& status = "200 OK")
    {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }
    // Sent in pieces of `piece` bytes, without a length.
    static QByteArray Chunked(const QByteArray& body, int piece = 7)
    {
        QByteArray reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        for (qsizetype at = 0; at < body.size(); at += piece) {
            const QByteArray part = body.mid(at, piece);
            reply += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
        }
        return reply + "0\r\n\r\n";
    }
    // No length: the end of the connection ends the document.
    static QByteArray UntilClosed(const QByteArray& body)
    {
        return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
    }
    static QByteArray Redirect(const QByteArray& location)
    {
        return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }

    LoopbackHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { _Accept(); });
    }

    bool IsListening() const { return m_server.isListening(); }
    QString Url(const QByteArray& path = "/") const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()) + QString::fromLatin1(path);
    }
    void Serve(const QByteArray& path, const QByteArray& reply) { m_replies[path] = reply; }
    int Connections() const { return m_nConnections; }
    const QList<QByteArray>& Requests() const { return m_requests; }

private:
    void _Accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++m_nConnections;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { _Read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void _Read(QTcpSocket* socket)
    {
        QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        m_requests.push_back(request);
        const QByteArray path = request.split(' ').value(1);
        const QByteArray reply = m_replies.value(path, Ok("missing", "404 Not Found"));
        if (reply == Silent())
            return;
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QByteArray, QByteArray> m_replies;
    QList<QByteArray> m_requests;
    int m_nConnections = 0;
};

} // namespace vxtest
