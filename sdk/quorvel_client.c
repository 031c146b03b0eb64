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

size_t qv_build_login_record(unsigned char* record, size_t capacity) {
  return build_code_record(record, capacity, QV_CODE_LOGIN);
}

size_t qv_build_quit_record(unsigned char* record, size_t capacity) {
  return build_code_record(record, capacity, QV_CODE_QUIT);
}

#ifdef _WIN32

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

qv_status qv_connect(qv_client* client) {
  HWND relay;
  LRESULT answer;
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  relay = FindWindowA(QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE);
  if (relay == NULL) {
    client->relay_window = NULL;
    return QV_ERROR_NO_RELAY;
  }
  /* Every announcement gives the relay one more entry for this process, so
   * a relay that already knows this client is not told again. */
  if (relay == client->relay_window && client->announced_to != 0 && window_process_id(relay) == client->announced_to)
    return QV_OK;
  forget_relay_process(client);
  client->relay_window = relay;
  client->announced_to = 0;
  answer = SendMessageA(relay, QV_PROCESS_ID_MESSAGE, 0, (LPARAM)GetCurrentProcessId());
  if (answer != 1) return IsWindow(relay) ? QV_ERROR_NOT_ACCEPTED : QV_ERROR_NO_RELAY;
  client->announced_to = window_process_id(relay);
  return QV_OK;
}

/* Hands a record from this process's memory to the relay. The send is
 * synchronous, so the record stays in place while the relay reads it. */
static qv_status hand_over(qv_client* client, const unsigned char* record, size_t length) {
  LRESULT answer;
  if (client->relay_window == NULL || !IsWindow(client->relay_window)) return QV_ERROR_NO_RELAY;
  answer = SendMessageA(client->relay_window, QV_DATA_MESSAGE, (WPARAM)record, (LPARAM)length);
  if (answer == 1) return QV_OK;
  return IsWindow(client->relay_window) ? QV_ERROR_NOT_ACCEPTED : QV_ERROR_NO_RELAY;
}

qv_status qv_create(qv_client* client, int32_t name_id, const char* host) {
  unsigned char* record;
  size_t capacity;
  size_t length;
  qv_status status;
  if (client == NULL || host == NULL) return QV_ERROR_BAD_ARGUMENT;
  if (host[0] == '\0' || strlen(host) > QV_LONGEST_HOST) return QV_ERROR_BAD_HOST;
  capacity = QV_CREATE_HOST_OFFSET + strlen(host) + 1;
  record = (unsigned char*)malloc(capacity);
  if (record == NULL) return QV_ERROR_NO_MEMORY;
  /* The relay keeps window handles as 32-bit values and widens them again by
   * sign extension, as the platform does. */
  length = qv_build_create_record(record, capacity, name_id,
                                  (uint32_t)(uintptr_t)client->own_window, host);
  status = hand_over(client, record, length);
  free(record);
  return status;
}

qv_status qv_login(qv_client* client) {
  unsigned char record[1];
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  return hand_over(client, record, qv_build_login_record(record, sizeof record));
}

qv_status qv_send_text(qv_client* client, const void* text, size_t length) {
  unsigned char* record;
  size_t built;
  qv_status status;
  if (client == NULL || (text == NULL && length > 0)) return QV_ERROR_BAD_ARGUMENT;
  if (length > QV_LONGEST_TEXT) return QV_ERROR_TEXT_TOO_LONG;
  record = (unsigned char*)malloc(QV_TEXT_OFFSET + length);
  if (record == NULL) return QV_ERROR_NO_MEMORY;
  built = qv_build_text_record(record, QV_TEXT_OFFSET + length, text, length);
  status = hand_over(client, record, built);
  free(record);
  return status;
}

qv_status qv_quit(qv_client* client) {
  unsigned char record[1];
  if (client == NULL) return QV_ERROR_BAD_ARGUMENT;
  if (client->relay_window == NULL || !IsWindow(client->relay_window)) return QV_ERROR_NO_RELAY;
  /* The relay ends while it handles the record and never answers. */
  SendMessageA(client->relay_window, QV_DATA_MESSAGE, (WPARAM)record,
               (LPARAM)qv_build_quit_record(record, sizeof record));
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
}

#endif /* _WIN32 */
