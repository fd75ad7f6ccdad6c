#pragma once

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The simulated switch as a peer process: started on a loopback address with the given
// scenario arguments and system-chosen ports, stopped when the fixture goes.
class SwitchSim final
{
public:
    explicit SwitchSim(const QStringList &scenario = {}, const QString &address = QStringLiteral("127.0.0.2"));
    ~SwitchSim();
    Q_DISABLE_COPY_MOVE(SwitchSim)

    // Starts the program and waits until it has printed its ports; false with errorString().
    bool start();
    QString errorString() const { return m_error; }

    QString address() const { return m_address; }
    quint16 port(const QString &service) const { return m_ports.value(service); }
    // Every byte the switch received so far, in order.
    QByteArray transcript() const;

private:
    QStringList m_arguments;
    QString m_address;
    QTemporaryDir m_dir;
    QProcess m_process;
    QMap<QString, quint16> m_ports;
    QString m_error;
};
