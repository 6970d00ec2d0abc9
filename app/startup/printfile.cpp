#include "printfile.h"

#include "savefile.h"

#include <QFile>
#include <QPrinter>

PrintFile::PrintFile(QPrinter& printer) : m_printer(printer), m_target(printer.outputFileName())
{
    if (m_target.isEmpty())
        return;
    QString failure;
    m_temp = MakeTemporaryBeside(m_target, &failure);
    if (m_temp.isEmpty())
        throw FileWriteError(failure);
    m_printer.setOutputFileName(m_temp);
}

PrintFile::~PrintFile()
{
    if (m_target.isEmpty())
        return;
    if (m_printer.printerState() == QPrinter::Active)
        m_printer.abort();
    m_printer.setOutputFileName(m_target);
    if (!m_temp.isEmpty())
        QFile::remove(m_temp);
}

void PrintFile::finish(bool ended)
{
    if (m_target.isEmpty() || m_temp.isEmpty())
        return;
    const QString temp = m_temp;
    m_temp.clear();
    if (!ended || m_printer.printerState() == QPrinter::Error) {
        QFile::remove(temp);
        throw FileWriteError(FileNotWrittenText(m_target, QStringLiteral("the printer stopped with an error")));
    }
    QString failure;
    if (!CommitWrittenPdf(temp, m_target, &failure))
        throw FileWriteError(failure);
}
