// The Ports box's words for what Windows drivers report: a rate that the adapter's driver
// refuses (ERROR_INVALID_PARAMETER from the line settings) and an open that timed out
// (ERROR_SEM_TIMEOUT, a Bluetooth port whose far end does not answer). The same codes from
// another step keep the system's words. The failures are raised as the device layer raises them
// (sercomm_win_refusals shows the first coming from Wine's SetCommState).
#include "logcapture.h"
#include "probereport.h"
#include "serdevicename.h"
#include "serexception.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

namespace {

std::exception_ptr FailureOf(const std::function<void()> &Raise)
{
    try {
        Raise();
    } catch (...) {
        return std::current_exception();
    }
    return {};
}

} // namespace

TEST(TProbeReportWin, DriverRefusalsAreToldInPlainWordsInTheTooltipAndTheLog)
{
    const std::string path = SerDevicePath(SerPortDeviceName("COM5"));
    const struct {
        std::function<void()> Raise;
        QString Outcome; // the tooltip, or its beginning when it quotes the system
        QString Words;   // what the log adds to the system's message, if anything
    } cases[] = {
        {[] { RaiseCommError(SWriteDcbError, ERROR_INVALID_PARAMETER); },
         QStringLiteral("COM5: the adapter's driver refuses 500000 bit/s"),
         QStringLiteral("the adapter's driver refuses 500000 bit/s")},
        {[&] { RaiseOpenError(path, ERROR_SEM_TIMEOUT, false); },
         QStringLiteral("COM5: timed out while opening"),
         QStringLiteral("timed out while opening")},
        {[] { RaiseCommError(SBuffersError, ERROR_INVALID_PARAMETER); },
         QStringLiteral("COM5: cannot be opened (Error initializing buffers (87), "), QString()},
        {[] { RaiseCommError(SWriteDcbError, ERROR_SEM_TIMEOUT); },
         QStringLiteral("COM5: cannot be opened (Error writing dcb (121), "), QString()},
        {[&] { RaiseOpenError(path, ERROR_INVALID_PARAMETER, false); },
         QStringLiteral("COM5: cannot be opened (Can't open specified device "), QString()},
    };
    for (const auto &each : cases) {
        const std::exception_ptr failure = FailureOf(each.Raise);
        ASSERT_TRUE(failure);
        TLogCapture log(QStringLiteral("zarnell.discovery=true"));
        TProbeReport report;
        report.Started(QStringLiteral("COM5"));
        report.Failed(failure);

        const QString outcome = report.Outcome(QStringLiteral("COM5"));
        EXPECT_TRUE(outcome.startsWith(each.Outcome)) << outcome.toStdString();
        const QStringList lines = Matching(log.Lines, QStringLiteral("zarnell.discovery: COM5: "));
        ASSERT_EQ(lines.size(), 1) << log.Lines.join(QLatin1Char('\n')).toStdString();
        // The log keeps the system's own message, with the words after it.
        try {
            std::rethrow_exception(failure);
        } catch (const ESerCommError &e) {
            EXPECT_TRUE(lines[0].startsWith(QString::fromStdString(e.what()))) << e.what();
        }
        if (!each.Words.isEmpty())
            EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" — ") + each.Words))
                << lines[0].toStdString();
        else
            EXPECT_EQ(outcome, QStringLiteral("COM5: cannot be opened (%1)").arg(lines[0]));
    }
}
