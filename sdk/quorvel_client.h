/*
 * quorvel_client.h - talk to the Quorvel relay from a Windows program or DLL.
 *
 * The relay is a resident program whose hidden top-level window, titled
 * "Quorvel.exe" (class "WindowClass_1"), is its address on this machine. A
 * client owns a window of its own and speaks to the relay with two window
 * messages:
 *
 *   1025 (ProcessIdMessage)  client -> relay: "here is my process id";
 *                            relay -> client: "here is mine" (link up)
 *   1026 (DataMessage)       client -> relay: a command record in the
 *                            client's memory (address, length);
 *                            relay -> client: a text from the partner in the
 *                            relay's memory (address, length)
 *
 * Each side reads the other's bytes out of the other's process while the
 * message is being delivered, so every send here is synchronous.
 *
 * Usable from C and C++. Link quorvel_client.c (and user32). The record
 * builders at the top need no Windows header; the client itself is only
 * declared on Windows.
 *
 * Example (a window procedure of a program that chats as name 7 with the
 * relay on host "10.0.0.5"):
 *
 *     static qv_client client;
 *
 *     static void on_text(void* context, const char* text, size_t length) {
 *         (void)context;
 *         fwrite(text, 1, length, stdout);     // text[length] is 0 as well
 *     }
 *
 *     // once the window exists:
 *     qv_client_init(&client, window, on_text, NULL);
 *     qv_status status = qv_connect(&client);  // find the relay, announce
 *     if (status == QV_OK) status = qv_create(&client, 7, "10.0.0.5");
 *     if (status == QV_OK) status = qv_login(&client);
 *     if (status == QV_OK) status = qv_send_text(&client, "Hallo", 5);
 *     if (status != QV_OK) fprintf(stderr, "%s\n", qv_status_text(status));
 *
 *     // in the window procedure, before anything else:
 *     LRESULT result;
 *     if (qv_handle_message(&client, message, wParam, lParam, &result))
 *         return result;
 *
 *     // when done:
 *     qv_client_close(&client);
 *
 * Texts arrive only after the partner's client has logged in to this
 * machine's relay; for text to flow both ways both sides log in.
 *
 * Where records live: the relay takes as a record's sender the first
 * registered process in which the record's whole address range can be read.
 * Two programs built alike keep their heap blocks at the same addresses, so a
 * record on the heap may be credited to another client. The SDK therefore
 * keeps its records in a 64 KiB block of its own at an address derived from
 * the process id (qv_record_slot_address), which no other process using this
 * SDK ever commits, and starts the block with the record tag naming this
 * process (qv_build_record_tag), directly before every record: other
 * processes may still have readable memory at that address (Windows places
 * DLLs and heaps there, Wine reserves it), and the tag tells the relay which
 * one holds the record. One process is one client to the relay: the block is
 * shared by every qv_client of the process, and calls from several threads
 * take turns.
 */
#ifndef QUORVEL_CLIENT_H
#define QUORVEL_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#include "quorvel_wire.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The block that holds this process's records: the allocation granularity
 * of Windows, and room for the record tag and the longest record (code byte
 * and longest text). */
#define QV_RECORD_SLOT_SIZE 0x10000u

typedef enum qv_status {
  QV_OK = 0,
  QV_ERROR_NO_RELAY,       /* no relay window: Quorvel is not running */
  QV_ERROR_NOT_ACCEPTED,   /* the relay did not accept the message */
  QV_ERROR_TEXT_TOO_LONG,  /* more than QV_LONGEST_TEXT bytes */
  QV_ERROR_BAD_HOST,       /* empty host text, or longer than QV_LONGEST_HOST */
  QV_ERROR_NO_MEMORY,
  QV_ERROR_BAD_ARGUMENT,   /* a null client or text pointer */
  QV_ERROR_NO_RECORD_SLOT  /* none of this process's own record addresses
                              was free (see "Where records live" below) */
} qv_status;

/* A sentence that says what went wrong (English, for developers and logs). */
const char* qv_status_text(qv_status status);
/* A short machine-readable word for the status ("ok", "no-relay", ...). */
const char* qv_status_name(qv_status status);

/* Record builders. Each writes its record into `record` (of `capacity`
 * bytes) and returns the record's length, or 0 when the record does not fit
 * or its content cannot travel (a host text that is empty or too long, a
 * text longer than QV_LONGEST_TEXT). */
size_t qv_build_create_record(unsigned char* record, size_t capacity, int32_t name_id, uint32_t client_window,
                              const char* host);
size_t qv_build_text_record(unsigned char* record, size_t capacity, const void* text, size_t length);
size_t qv_build_login_record(unsigned char* record, size_t capacity);
size_t qv_build_quit_record(unsigned char* record, size_t capacity);
/* The reports command: `on` nonzero to have reports sent, 0 to stop them;
 * `last_text` is the number of the last text the client handed over. */
size_t qv_build_reports_record(unsigned char* record, size_t capacity, int on, uint32_t last_text);

/* Writes the QV_RECORD_TAG_SIZE bytes of the record tag naming
 * `process_id`; a record placed directly after them is known by the relay as
 * this process's. Returns QV_RECORD_TAG_SIZE. */
size_t qv_build_record_tag(unsigned char* tag, uint32_t process_id);

/* Candidate addresses of a process's record block, for a program of the given
 * pointer width (32 or 64): candidate 0 is tried first, and each following
 * one when the one before is taken in the process itself. Returns 0 past the
 * last candidate. Exposed for clients that are not built on this SDK and must
 * follow the same rule. */
uint64_t qv_record_slot_address(uint32_t process_id, unsigned candidate, unsigned pointer_bits);

#ifdef _WIN32
/* Called with each text the partner sent, while the relay's message is
 * being delivered. `text` holds `length` bytes of any value (zero bytes
 * included) followed by one extra zero byte; it is valid only during the
 * call. */
typedef void (*qv_text_callback)(void* context, const char* text, size_t length);

/* Optional: called when the relay has carried out a create command. */
typedef void (*qv_link_callback)(void* context, DWORD relay_process_id);

/* Optional: called when a text was announced but could not be read out of
 * the relay's process (the relay ended, or no link was up). */
typedef void (*qv_lost_text_callback)(void* context, size_t length);

/* Optional, after qv_request_reports: what became of one of this client's
 * texts that the partner's relay did not take at once. `report` is
 * QV_REPORT_WAITING (it waits in this machine's relay until the partner's
 * relay takes logins again), QV_REPORT_SENT_LATER or QV_REPORT_DROPPED (too
 * many texts waited). `text_number` is the text's number: the value of
 * texts_sent right after its qv_send_text. */
typedef void (*qv_report_callback)(void* context, int report, uint32_t text_number);

typedef struct qv_client {
  HWND own_window;               /* receives the relay's notifications */
  HWND relay_window;             /* 0 until qv_connect found it */
  DWORD announced_to;            /* the relay's process id once announced */
  DWORD relay_process_id;        /* from the link-up notification */
  HANDLE relay_process;          /* opened for reading at link-up */
  qv_text_callback on_text;
  void* context;
  qv_link_callback on_link_up;   /* may be 0 */
  qv_lost_text_callback on_lost_text; /* may be 0 */
  char* text_buffer;             /* holds the last text read */
  size_t text_capacity;
  /* The pairing, kept so that it can be restored on a restarted relay. */
  int paired;                    /* a create command was carried out */
  int logged_in;                 /* and a login after it */
  int32_t pair_name;
  char pair_host[QV_LONGEST_HOST + 1];
  int wants_reports;             /* qv_request_reports was switched on */
  uint32_t texts_sent;           /* texts handed over: the last one's number */
  qv_report_callback on_report;  /* may be 0 */
} qv_client;

/* Prepares `client`; `own_window` is the window whose procedure calls
 * qv_handle_message. Set on_link_up and on_lost_text afterwards if wanted. */
void qv_client_init(qv_client* client, HWND own_window, qv_text_callback on_text, void* context);

/* Finds the relay's window and announces this process to it
 * (QV_ERROR_NO_RELAY when Quorvel is not running).
 *
 * The client follows its relay. Before every command it checks that the
 * relay it announced itself to still runs; when that relay's window is gone
 * or belongs to another process, it finds the new relay, announces itself
 * there and makes its pairing again (create, reports, login, as it had
 * them) before the command. A relay that starts tells every top-level window
 * (QV_RELAY_STARTED_MESSAGE_NAME); qv_handle_message then restores the
 * pairing at once. A message-only window does not get that message and
 * restores it with its next command or qv_connect. */
qv_status qv_connect(qv_client* client);

/* Pairs this client with the partner: its name number and its host (a dotted
 * IPv4 address or a host name). The relay answers with the link-up
 * notification before this returns. A host the relay cannot resolve is
 * reported by the relay on its own screen, not here. */
qv_status qv_create(qv_client* client, int32_t name_id, const char* host);

/* Sends the login to the partner's relay, so that this client's texts are
 * taken there. QV_OK means only that this machine's relay took the command
 * and sent the login datagram: neither this client nor its relay learns
 * whether the partner's relay accepted it (it does only once the partner has
 * made its own create command). Sending the login again is harmless. */
qv_status qv_login(qv_client* client);

/* Sends `length` bytes (any values) to the partner; at most QV_LONGEST_TEXT,
 * otherwise QV_ERROR_TEXT_TOO_LONG and nothing is sent. QV_OK means only that
 * this machine's relay took the text and handed it to the network as one
 * datagram. It says nothing about the partner: the datagram may be lost, and
 * the partner's relay drops it unless this client's login was accepted
 * there. Nobody acknowledges a text; only the partner's answer shows that
 * texts get through. */
qv_status qv_send_text(qv_client* client, const void* text, size_t length);

/* Asks the relay to report what becomes of texts the partner's relay did
 * not take (on nonzero), or to stop (0); reports reach on_report. Kept for
 * later pairings and restored ones. A relay that cannot report answers
 * QV_OK as well and sends none. */
qv_status qv_request_reports(qv_client* client, int on);

/* Ends the relay. It does not answer; QV_OK means the message was handed
 * over. */
qv_status qv_quit(qv_client* client);

/* Call from the own window's procedure. Returns nonzero when the message was
 * one of the relay's notifications or its start (then return *result), 0
 * otherwise. */
int qv_handle_message(qv_client* client, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

/* Releases what the client holds (the relay's process handle, the text
 * buffer). */
void qv_client_close(qv_client* client);
#endif /* _WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEL_CLIENT_H */
