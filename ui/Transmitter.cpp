// The transmit step behind the transmit box: whatever its text has grown by goes to the
// panel at once, and panel commands leave the same way, as the transcript's newest bytes.
#include "DataExchange.h"
#include "TestDlg.h"

#include <Transcript.h>

#include <QPlainTextEdit>

namespace {
// Byte length of the transcript at the end of the previous transmit step. It lives for the
// whole run and follows the transcript after every step, also one that sent nothing or failed.
int s_nSentCount = 0;
} // namespace

// Both steps run through m_steps: one asked for while another sends (from an event handled to
// keep the window alive) runs after it, never inside it.

void CTestDlg::SendNewText() {
    m_steps.Run([this] {
        // The control's own text, not m_strSend: only data exchange brings that up to date.
        const std::string transcript = ToTranscriptBytes(EditText(*m_editSend).toStdU32String());
        // A failure is reported by the link; the rest of that growth is dropped, because the
        // count below already includes it.
        const CSendKeepAlive::CSending sending(m_keepAlive);
        m_port.SendText(std::string(NewTail(transcript, s_nSentCount)));
        s_nSentCount = static_cast<int>(transcript.size());
    });
}

void CTestDlg::AppendCommand(std::string_view command) {
    const QString strCommand =
        QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()));
    m_steps.Run([this, strCommand] {
        UpdateData(true);
        m_strSend.append(strCommand);
        // Replacing the box's text reports a change, and the command goes out from there; the
        // call below then finds nothing new. The count makes either order send it exactly once.
        UpdateData(false);
        // Replacing the text puts the caret at the start; the operator's next key belongs at the
        // end.
        m_editSend->moveCursor(QTextCursor::End);
        m_editSend->ensureCursorVisible();
        SendNewText();
    });
}
