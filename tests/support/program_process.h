#pragma once

// The built program, run as a process from a copy of its own (its settings file lives next to
// the program file) with a start folder and a HOME of the test's choosing, offscreen, its
// output collected. The process is killed when the object goes away.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class ProgramProcess
{
public:
    ProgramProcess();
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess &) = delete;
    ProgramProcess &operator=(const ProgramProcess &) = delete;

    // False when the temporary folders or the program's copy could not be made.
    bool isValid() const { return m_valid; }
    // The folder holding the program's copy; "Boxvisor.ini" goes here.
    QString programDir() const { return m_programDir.path(); }
    // The current folder the program starts in (its start folder).
    QString startDir() const { return m_startDir.path(); }
    // Writes a file below startDir() or programDir() (path given in full).
    static bool writeFile(const QString &path, const QByteArray &bytes);

    // Starts the program with HOME set to home; false when it did not start.
    bool start(const QString &home);
    // Handles events until the output contains text; false after timeoutMs.
    bool waitForOutput(const QByteArray &text, int timeoutMs = 15000);
    QByteArray output() const { return m_output; }
    QProcess &process() { return m_process; }

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_startDir;
    QProcess m_process;
    QByteArray m_output;
    bool m_valid = false;
};
