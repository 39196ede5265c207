#include "serial/answerwindow.h"

void AnswerWindow::open()
{
    windowOpen = true;
    burstsInWindow = 0;
    validInWindow = 0;
}

AnswerWindow::Burst AnswerWindow::take(const QByteArray &bytes, ModbusFrame::Registers *registers)
{
    if (!windowOpen) {
        ++counts.lateDropped;
        return Burst::Late;
    }
    ++burstsInWindow;
    switch (ModbusFrame::judge(bytes)) {
    case ModbusFrame::Verdict::BadCrc:
        ++counts.badCrc;
        return Burst::Rejected;
    case ModbusFrame::Verdict::BadFrame:
        ++counts.badFrame;
        return Burst::Rejected;
    case ModbusFrame::Verdict::Accepted:
        break;
    }
    if (++validInWindow == 1) {
        ++counts.validAnswers;
        *registers = ModbusFrame::decodeRegisters(bytes);
        return Burst::Decoded;
    }
    // Most likely the previous request's answer, later than any guard allowed for.
    ++counts.lateDropped;
    return Burst::Ambiguous;
}

bool AnswerWindow::close(bool gathering)
{
    if (!windowOpen)
        return false;
    windowOpen = false;
    if (burstsInWindow == 0 && !gathering)
        ++counts.noAnswer;
    // More arriving behind a valid answer may be the right answer behind a late one.
    const bool reading = validInWindow == 1 && !gathering;
    silentWindows = reading ? 0 : silentWindows + 1;
    return reading;
}

void AnswerWindow::abandon()
{
    windowOpen = false;
}

void AnswerWindow::resetCounters()
{
    counts = LinkCounters();
    silentWindows = 0;
}
