#include "support/program_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QCoreApplication>

#include "support/test_paths.h"

ProgramProcess::ProgramProcess()
{
    m_valid = m_programDir.isValid() && m_startDir.isValid() &&
              QFile::copy(testpaths::binaryDir() + QStringLiteral("/src/app/ui/boxvisor"),
                          m_programDir.filePath(QStringLiteral("boxvisor")));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_output += m_process.readAll(); });
}

ProgramProcess::~ProgramProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool ProgramProcess::writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool ProgramProcess::start(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The program says "start-up done" in this category when its first activation has run.
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("boxvisor.app.info=true"));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(startDir());
    m_process.start(m_programDir.filePath(QStringLiteral("boxvisor")), {});
    return m_process.waitForStarted();
}

bool ProgramProcess::waitForOutput(const QByteArray &text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_output.contains(text)) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return m_output.contains(text);
        m_process.waitForReadyRead(20);
        QCoreApplication::processEvents();
    }
    return true;
}
