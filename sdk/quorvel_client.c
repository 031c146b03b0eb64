/* quorvel_client.c - the client side of the Quorvel relay's window-message
 * protocol. Compiles as C and as C++. */
#include "quorvel_client.h"

#include <stdlib.h>
#include <string.h>

const char* qv_status_text(qv_status status) {
  switch (status) {
    case QV_OK:
      return "done";
    case QV_ERROR_NO_RELAY:
      return "Quorvel is not running: no window titled \"Quorvel.exe\" was found";
    case QV_ERROR_NOT_ACCEPTED:
      return "Quorvel did not accept the message";
    case QV_ERROR_TEXT_TOO_LONG:
      return "the text is longer than 65506 bytes and cannot travel in one UDP datagram";
    case QV_ERROR_BAD_HOST:
      return "the partner's host is empty or longer than 253 characters";
    case QV_ERROR_NO_MEMORY:
      return "out of memory";
    case QV_ERROR_BAD_ARGUMENT:
      return "a required argument is missing";
    case QV_ERROR_NO_RECORD_SLOT:
      return "no address of this process's own was free for its records to Quorvel";
  }
  return "unknown status";
}

const char* qv_status_name(qv_status status) {
  switch (status) {
    case QV_OK:
      return "ok";
    case QV_ERROR_NO_RELAY:
      return "no-relay";
    case QV_ERROR_NOT_ACCEPTED:
      return "not-accepted";
    case QV_ERROR_TEXT_TOO_LONG:
      return "text-too-long";
    case QV_ERROR_BAD_HOST:
      return "bad-host";
    case QV_ERROR_NO_MEMORY:
      return "no-memory";
    case QV_ERROR_BAD_ARGUMENT:
      return "bad-argument";
    case QV_ERROR_NO_RECORD_SLOT:
      return "no-record-slot";
  }
  return "unknown";
}

static void put_little_endian32(unsigned char* bytes, uint32_t value) {
  bytes[0] = (unsigned char)(value & 0xFFu);
  bytes[1] = (unsigned char)((value >> 8) & 0xFFu);
  bytes[2] = (unsigned char)((value >> 16) & 0xFFu);
  bytes[3] = (unsigned char)((value >> 24) & 0xFFu);
}

size_t qv_build_create_record(unsigned char* record, size_t capacity, int32_t name_id, uint32_t client_window,
                              const char* host) {
  size_t host_length;
  size_t length;
  if (record == NULL || host == NULL) return 0;
  host_length = strlen(host);
  if (host_length == 0 || host_length > QV_LONGEST_HOST) return 0;
  length = QV_CREATE_HOST_OFFSET + host_length + 1;
  if (length > capacity) return 0;
  record[0] = (unsigned char)QV_CODE_CREATE;
  put_little_endian32(record + QV_CREATE_NAME_OFFSET, (uint32_t)name_id);
  put_little_endian32(record + QV_CREATE_WINDOW_OFFSET, client_window);
  memcpy(record + QV_CREATE_HOST_OFFSET, host, host_length + 1);
  return length;
}

size_t qv_build_text_record(unsigned char* record, size_t capacity, const void* text, size_t length) {
  if (record == NULL || (text == NULL && length > 0)) return 0;
  if (length > QV_LONGEST_TEXT || QV_TEXT_OFFSET + length > capacity) return 0;
  record[0] = (unsigned char)QV_CODE_TEXT;
  if (length > 0) memcpy(record + QV_TEXT_OFFSET, text, length);
  return QV_TEXT_OFFSET + length;
}

static size_t build_code_record(unsigned char* record, size_t capacity, int code) {
  if (record == NULL || capacity < 1) return 0;
  record[0] = (unsigned char)code;
  return 1;
}

size_t qv_build_record_tag(unsigned char* tag, uint32_t process_id) {
  put_little_endian32(tag + QV_RECORD_TAG_MARK_OFFSET, QV_RECORD_TAG_MARK);
  put_little_endian32(tag + QV_RECORD_TAG_PROCESS_OFFSET, process_id);
  return QV_RECORD_TAG_SIZE;
}

size_t qv_build_login_record(unsigned char* record, size_t capacity) {
  return build_code_record(record, capacity, QV_CODE_LOGIN);
}

size_t qv_build_quit_record(unsigned char* record, size_t capacity) {
  return build_code_record(record, capacity, QV_CODE_QUIT);
}

size_t qv_build_reports_record(unsigned char* record, size_t capacity, int on, uint32_t last_text) {
  if (record == NULL || capacity < QV_REPORTS_RECORD_LENGTH) return 0;
  record[0] = (unsigned char)QV_CODE_REPORTS;
  record[QV_REPORTS_ON_OFFSET] = (unsigned char)(on != 0);
  put_little_endian32(record + QV_REPORTS_NUMBER_OFFSET, last_text);
  return QV_REPORTS_RECORD_LENGTH;
}

/* Record blocks are numbered by process id / 4 (Windows hands out process
 * ids in steps of 4), so processes with different ids get different blocks.
 * Candidate c of a process is block (id / 4 + c * step) mod count, at
 * base + block * 64 KiB.
 *
 * 64-bit: 2^26 blocks from 4 TiB up to 8 TiB, the end of the user address
 * space of the oldest 64-bit Windows still met. That is above where heaps and
 * other bottom-up allocations are placed, even with high-entropy ASLR, and
 * far below the images and stacks near the top. The four candidates lie in
 * four separate TiB, and the id / 4 of every process id Windows issues (at
 * most 2^24 of them) fits one TiB: no two processes ever share a block.
 *
 * 32-bit: the user address space is 2 GiB, so 24,576 blocks fill
 * 0x10000000 to 0x70000000, between the program and its early heaps below
 * and the system DLLs above. The three candidates are 8,192 blocks apart.
 * Processes with ids below 32,768 never share a block; above that, two
 * processes share one only when their ids differ by a multiple of 32,768 and
 * both sit at the same kind of candidate, and then only when both are
 * clients of the relay at the same time. */
#define SLOT_CANDIDATES_64 4u
#define SLOT_CANDIDATES_32 3u

uint64_t qv_record_slot_address(uint32_t process_id, unsigned candidate, unsigned pointer_bits) {
  const uint64_t index = process_id / 4u;
  if (pointer_bits == 64) {
    if (candidate >= SLOT_CANDIDATES_64) return 0;
    return 0x40000000000ull + ((index + candidate * (1ull << 24)) % (1ull << 26)) * QV_RECORD_SLOT_SIZE;
  }
  if (candidate >= SLOT_CANDIDATES_32) return 0;
  return 0x10000000ull + ((index + candidate * 8192ull) % 24576ull) * QV_RECORD_SLOT_SIZE;
}

#ifdef _WIN32

/* What a record may fill of the block after the tag. */
#define RECORD_CAPACITY (QV_RECORD_SLOT_SIZE - QV_RECORD_TAG_SIZE)

static INIT_ONCE slot_once = INIT_ONCE_STATIC_INIT;
static CRITICAL_SECTION slot_lock;
static unsigned char* slot; /* the block: the tag, then the record */

/* Reserves and commits this process's record block at the first of its
 * candidate addresses that is free here, and tags it. VirtualAlloc gives the
 * address asked for or none; the check keeps that promise explicit. */
static BOOL CALLBACK take_record_slot(PINIT_ONCE once, PVOID parameter, PVOID* context) {
  const DWORD process_id = GetCurrentProcessId();
  unsigned candidate;
  uint64_t address;
  (void)once;
  (void)parameter;
  (void)context;
  InitializeCriticalSection(&slot_lock);
  for (candidate = 0; slot == NULL && (address = qv_record_slot_address(process_id, candidate,
                                                                        (unsigned)(sizeof(void*) * 8))) != 0;
       ++candidate) {
    void* wanted = (void*)(uintptr_t)address;
    void* got = VirtualAlloc(wanted, QV_RECORD_SLOT_SIZE, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (got == wanted) {
      slot = (unsigned char*)got;
    } else if (got != NULL) {
      VirtualFree(got, 0, MEM_RELEASE);
    }
  }
  if (slot != NULL) qv_build_record_tag(slot, process_id);
  return TRUE;
}

/* Where the record goes, right after the tag (RECORD_CAPACITY bytes), held
 * by this thread until leave_record_slot; NULL when the process has no block.
 * A thread may enter again from a notification that arrives while its own
 * record is being handed over: the relay has copied that record before it
 * acts on it, so the block may be written anew. */
static unsigned char* enter_record_slot(void) {
  InitOnceExecuteOnce(&slot_once, take_record_slot, NULL, NULL);
  if (slot == NULL) return NULL;
  EnterCriticalSection(&slot_lock);
  return slot + QV_RECORD_TAG_SIZE;
}

static void leave_record_slot(void) { LeaveCriticalSection(&slot_lock); }

void qv_client_init(qv_client* client, HWND own_window, qv_text_callback on_text, void* context) {
  if (client == NULL) return;
  memset(client, 0, sizeof *client);
  client->own_window = own_window;
  client->on_text = on_text;
  client->context = context;
}

static DWORD window_process_id(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

static void forget_relay_process(qv_client* client) {
  if (client->relay_process != NULL) CloseHandle(client->relay_process);
  client->relay_process = NULL;
  client->relay_process_id = 0;
}

/* Finds the running relay's window and announces this process to it. */
static qv_status announce(qv_client* client) {
  HWND relay;
  LRESULT answer;
  relay = FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE);
  if (relay == NULL) {
    client->relay_window = NULL;
    return QV_ERROR_NO_RELAY;
  }
  forget_relay_process(client);
  client->relay_window = relay;
  client->announced_to = 0;
  answer = SendMessageA(relay, QV_PROCESS_ID_MESSAGE, 0, (LPARAM)GetCurrentProcessId());
  if (answer != 1) return IsWindow(relay) ? QV_ERROR_NOT_ACCEPTED : QV_ERROR_NO_RELAY;
  client->announced_to = window_process_id(relay);
  return QV_OK;
}

/* Hands a record in this process's record block to the relay. The send is
 * synchronous, so the record stays in place while the relay reads it. */
static qv_status hand_over(qv_client* client, const unsigned char* record, size_t length) {
  LRESULT answer;
  if (client->relay_window == NULL || !IsWindow(client->relay_window)) return QV_ERROR_NO_RELAY;
  answer = SendMessageA(client->relay_window, QV_DATA_MESSAGE, (WPARAM)record, (LPARAM)length);
  if (answer == 1) return QV_OK;
  return IsWindow(client->relay_window) ? QV_ERROR_NOT_ACCEPTED : QV_ERROR_NO_RELAY;
}

static qv_status send_create(qv_client* client, int32_t name_id, const char* host) {
  unsigned char* record;
  qv_status status;
  record = enter_record_slot();
  if (record == NULL) return QV_ERROR_NO_RECORD_SLOT;
  /* The relay keeps window handles as 32-bit values and widens them again by
   * sign extension, as the platform does. */
  status = hand_over(client, record,
                     qv_build_create_record(record, RECORD_CAPACITY, name_id,
                                            (uint32_t)(uintptr_t)client->own_window, host));
  leave_record_slot();
  return status;
}

static qv_status send_login(qv_client* client) {
  unsigned char* record;
  qv_status status;
  record = enter_record_slot();
  if (record == NULL) return QV_ERROR_NO_RECORD_SLOT;
  status = hand_over(client, record, qv_build_login_record(record, RECORD_CAPACITY));
  leave_record_slot();
  return status;
}

static qv_status send_text(qv_client* client, const void* text, size_t length) {
  unsigned char* record;
  qv_status status;
  record = enter_record_slot();
  if (record == NULL) return QV_ERROR_NO_RECORD_SLOT;
  status = hand_over(client, record, qv_build_text_record(record, RECORD_CAPACITY, text, length));
  leave_record_slot();
  return status;
}

static qv_status send_reports(qv_client* client) {
  unsigned char* record;
  qv_status status;
  record = enter_record_slot();
  if (record == NULL) return QV_ERROR_NO_RECORD_SLOT;
  status = hand_over(client, record,
                     qv_build_reports_record(record, RECORD_CAPACITY, client->wants_reports, client->texts_sent));
  leave_record_slot();
  return status;
}

/* ---- Following the relay */

/* Whether the relay this client announced itself to still has its window. */
static int relay_still_runs(const qv_client* client) {
  return client->relay_window != NULL && client->announced_to != 0 &&
         window_process_id(client->relay_window) == client->announced_to;
}

/* Makes the remembered pairing on the relay announced to: create, reports
 * and login, as the client last asked for them. */
static qv_status pair(qv_client* client) {
  qv_status status = send_create(client, client->pair_name, client->pair_host);
  if (status == QV_OK && client->wants_reports) status = send_reports(client);
  if (status == QV_OK && client->logged_in) status = send_login(client);
  return status;
}

/* A relay that has ended, or was replaced by a new one, is followed: the
 * client announces itself to the relay running now and, with `restore`,
 * pairs there as it had. Every announcement gives the relay one more entry
 * for this process, so a relay that knows this client is not told again. */
static qv_status follow_relay(qv_client* client, int restore) {
  qv_status status;
  if (relay_still_runs(client)) return QV_OK;
  status = announce(client);
  if (status == QV_OK && restore && client->paired) status = pair(client);
  return status;
}

qv_status qv_connect(qv_client* client) {
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  return follow_relay(client, 1);
}

qv_status qv_create(qv_client* client, int32_t name_id, const char* host) {
  qv_status status;
  if (client == NULL || host == NULL) return QV_ERROR_BAD_ARGUMENT;
  if (host[0] == '\0' || strlen(host) > QV_LONGEST_HOST) return QV_ERROR_BAD_HOST;
  /* The earlier pairing, if any, is replaced: not restored first. */
  status = follow_relay(client, 0);
  if (status != QV_OK) return status;
  client->paired = 0;
  client->logged_in = 0;
  client->pair_name = name_id;
  memcpy(client->pair_host, host, strlen(host) + 1);
  status = pair(client);
  client->paired = status == QV_OK;
  return status;
}

qv_status qv_login(qv_client* client) {
  qv_status status;
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  status = follow_relay(client, 1);
  if (status == QV_OK) status = send_login(client);
  if (status == QV_OK && client->paired) client->logged_in = 1;
  return status;
}

qv_status qv_send_text(qv_client* client, const void* text, size_t length) {
  qv_status status;
  if (client == NULL || (text == NULL && length > 0)) return QV_ERROR_BAD_ARGUMENT;
  if (length > QV_LONGEST_TEXT) return QV_ERROR_TEXT_TOO_LONG;
  status = follow_relay(client, 1);
  if (status == QV_OK) status = send_text(client, text, length);
  if (status == QV_OK) ++client->texts_sent;
  return status;
}

qv_status qv_request_reports(qv_client* client, int on) {
  qv_status status;
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  client->wants_reports = on != 0;
  /* Without a pairing the wish waits for the create command. */
  status = follow_relay(client, 1);
  if (status == QV_OK && client->paired) status = send_reports(client);
  return status;
}

qv_status qv_quit(qv_client* client) {
  unsigned char* record;
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  if (client->relay_window == NULL || !IsWindow(client->relay_window)) return QV_ERROR_NO_RELAY;
  record = enter_record_slot();
  if (record == NULL) return QV_ERROR_NO_RECORD_SLOT;
  /* The relay ends while it handles the record and never answers. */
  SendMessageA(client->relay_window, QV_DATA_MESSAGE, (WPARAM)record,
               (LPARAM)qv_build_quit_record(record, RECORD_CAPACITY));
  leave_record_slot();
  forget_relay_process(client);
  client->relay_window = NULL;
  client->announced_to = 0;
  return QV_OK;
}

static void link_up(qv_client* client, DWORD process_id) {
  /* Only the relay this client announced itself to is trusted with a
   * process id: the texts are read out of that process. */
  if (client->relay_window == NULL || window_process_id(client->relay_window) != process_id) return;
  if (client->relay_process == NULL || client->relay_process_id != process_id) {
    forget_relay_process(client);
    client->relay_process = OpenProcess(PROCESS_VM_READ, FALSE, process_id);
    if (client->relay_process == NULL) return;
    client->relay_process_id = process_id;
  }
  if (client->on_link_up != NULL) client->on_link_up(client->context, process_id);
}

/* The number the relay's start is posted with; the same in every process. */
static UINT relay_started_message(void) {
  static volatile LONG registered;
  if (registered == 0) InterlockedExchange(&registered, (LONG)RegisterWindowMessageA(QV_RELAY_STARTED_MESSAGE_NAME));
  return (UINT)registered;
}

static void report(qv_client* client, WPARAM what, LPARAM text_number) {
  if (client->on_report != NULL) client->on_report(client->context, (int)what, (uint32_t)text_number);
}

static void lose_text(qv_client* client, size_t length) {
  if (client->on_lost_text != NULL) client->on_lost_text(client->context, length);
}

/* Reads the announced text out of the relay's process; it is only there
 * while the announcement is being delivered. */
static void take_text(qv_client* client, WPARAM address, LPARAM announced_length) {
  const int32_t signed_length = (int32_t)announced_length;
  size_t length;
  SIZE_T read = 0;
  if (signed_length < 0 || (size_t)signed_length > QV_LONGEST_TEXT) {
    lose_text(client, 0);
    return;
  }
  length = (size_t)signed_length;
  if (client->relay_process == NULL) {
    lose_text(client, length);
    return;
  }
  if (client->text_capacity < length + 1) {
    char* grown = (char*)realloc(client->text_buffer, length + 1);
    if (grown == NULL) {
      lose_text(client, length);
      return;
    }
    client->text_buffer = grown;
    client->text_capacity = length + 1;
  }
  if (length > 0 && (!ReadProcessMemory(client->relay_process, (LPCVOID)address, client->text_buffer, length, &read) ||
                     read != length)) {
    lose_text(client, length);
    return;
  }
  client->text_buffer[length] = '\0';
  if (client->on_text != NULL) client->on_text(client->context, client->text_buffer, length);
}

int qv_handle_message(qv_client* client, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (client == NULL) return 0;
  if (message == QV_PROCESS_ID_MESSAGE) {
    link_up(client, (DWORD)lParam);
  } else if (message == QV_DATA_MESSAGE) {
    take_text(client, wParam, lParam);
  } else if (message == QV_REPORT_MESSAGE && client->wants_reports) {
    report(client, wParam, lParam);
  } else if (message == relay_started_message() && message != 0) {
    /* Posted: nobody waits for it. A client without a pairing has nothing
     * to restore and finds the relay with its next command. */
    if (client->paired) follow_relay(client, 1);
  } else {
    return 0;
  }
  if (result != NULL) *result = 1;
  return 1;
}

void qv_client_close(qv_client* client) {
  if (client == NULL) return;
  forget_relay_process(client);
  free(client->text_buffer);
  client->text_buffer = NULL;
  client->text_capacity = 0;
  client->relay_window = NULL;
  client->announced_to = 0;
  client->paired = 0;
}

#endif /* _WIN32 */
