/*
 * quorvel_wire.h - what the relay and its local clients agree on: the window
 * that is the relay's address, the two window messages, the command records
 * and their limits. Plain C, no Windows header; the relay and the client SDK
 * both include it.
 *
 * A command record is handed over with QV_DATA_MESSAGE (address, length).
 * Byte 0 is the command code, read as a signed 8-bit number; multi-byte
 * integers are little-endian; there are no gaps:
 *
 *   create  QV_CODE_CREATE | name number (4) | client window (4) | host ... 0
 *   text    QV_CODE_TEXT   | the text, every byte after the code
 *   login   QV_CODE_LOGIN
 *   quit    QV_CODE_QUIT
 *   reports QV_CODE_REPORTS | on (1) | number of the client's last text (4)
 *
 * Code 1 and every other code carry nothing and do nothing. A relay that
 * does not know the reports command takes it as such a code: it answers 1
 * and sends no reports.
 *
 * A record may be preceded, directly and in the same block of memory, by a
 * tag that names the process holding it (see QV_RECORD_TAG_SIZE).
 */
#ifndef QUORVEL_WIRE_H
#define QUORVEL_WIRE_H

/* The relay's window, its address on this machine. */
#define QV_RELAY_WINDOW_TITLE "Quorvel.exe"
#define QV_RELAY_WINDOW_CLASS "WindowClass_1"

/* The two private window messages (WM_USER + 1, WM_USER + 2), used in both
 * directions between the relay and its clients. */
#define QV_PROCESS_ID_MESSAGE 1025u
#define QV_DATA_MESSAGE 1026u

/* Command codes, byte 0 of every record. */
#define QV_CODE_CREATE 0
#define QV_CODE_TEXT 2
#define QV_CODE_LOGIN 3
#define QV_CODE_QUIT 4
#define QV_CODE_REPORTS 5

/* The reports command: byte 1 is 1 to have reports sent, 0 to stop them;
 * bytes 2 to 5 are the number of the last text the client handed over. The
 * relay numbers each later text of that client one higher, and a report
 * names a text by that number. */
#define QV_REPORTS_ON_OFFSET 1u
#define QV_REPORTS_NUMBER_OFFSET 2u
#define QV_REPORTS_RECORD_LENGTH 6u

/* A report to a client that asked for them: wParam is what became of the
 * text, lParam its number. Sent with a time limit, like every notification. */
#define QV_REPORT_MESSAGE 1027u
#define QV_REPORT_WAITING 1    /* the partner did not take it; it waits in the relay */
#define QV_REPORT_SENT_LATER 2 /* it waited and has now been sent */
#define QV_REPORT_DROPPED 3    /* it waited and was dropped: too many texts waited */

/* Posted to every top-level window when a relay has started and its port is
 * open (a registered window message of this name): a client finds the
 * relay again and restores its pairing. */
#define QV_RELAY_STARTED_MESSAGE_NAME "Quorvel.RelayStarted"

/* Offsets in a create record and in a text record. */
#define QV_CREATE_NAME_OFFSET 1u
#define QV_CREATE_WINDOW_OFFSET 5u
#define QV_CREATE_HOST_OFFSET 9u
#define QV_TEXT_OFFSET 1u

/* The record tag, the QV_RECORD_TAG_SIZE bytes just before a record:
 *
 *   QV_RECORD_TAG_MARK (4) | the client's process id (4)     little-endian
 *
 * The relay takes as a record's sender the first registered process that can
 * supply the record's bytes; several processes may have readable memory at
 * one address, so that is not always the process that sent it. A registered
 * process whose tag before the record names its own id is the sender for
 * certain, wherever it stands among the others. A record without a tag is
 * served by the first rule alone. */
#define QV_RECORD_TAG_SIZE 8u
#define QV_RECORD_TAG_MARK 0x67745651u /* "QVtg" */
#define QV_RECORD_TAG_MARK_OFFSET 0u
#define QV_RECORD_TAG_PROCESS_OFFSET 4u

/* A text travels to the partner as one UDP datagram: one type byte and the
 * text. 65,507 bytes is the largest UDP payload over IPv4. */
#define QV_LONGEST_DATAGRAM 65507u
#define QV_LONGEST_TEXT (QV_LONGEST_DATAGRAM - 1u)
/* Host names are at most 253 characters; a longer host text cannot name
 * anything. */
#define QV_LONGEST_HOST 253u

#endif /* QUORVEL_WIRE_H */
